#!/usr/bin/env bash
# The lines of the DNS cache switch and of a configuration run that stops
# named, byte for byte, from the real executable against our test service
# registered as "Dnscache" and "named". Run it under with_idle.
# Usage: service_lines_test.sh <zephrane.exe> <test_service.exe> <wine runner> <prefix>
set -euo pipefail
exe=$1 service=$2
emulator=("$3" "$4")
work=$(mktemp -d)
bind_key='HKLM\Software\ISC'
cleanup() {
  for name in Dnscache named; do remove "$name"; done
  "${emulator[@]}" reg delete "$bind_key" /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../cli/transcript.sh"

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
sc() { "${emulator[@]}" sc "$@" >/dev/null 2>&1; }
remove() { if sc stop "$1"; then sleep 1; fi; sc delete "$1" || true; }
register() {  # register <name> <behaviour>
  remove "$1"
  sc create "$1" binPath= "\"$(windows_path "$service")\" $2"
}
# state <name>: "<state number> <start type>" as the system reports them
state() {
  local running start
  running=$("${emulator[@]}" sc query "$1" | sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p' | tr -d '\r')
  start=$("${emulator[@]}" reg query "HKLM\\System\\CurrentControlSet\\Services\\$1" /v Start |
          sed -n 's/.*REG_DWORD *0x\([0-9]*\).*/\1/p' | tr -d '\r')
  echo "$running $start"
}
start() {  # start <name>: starts it and waits until it runs
  sc start "$1"
  local i
  for i in {1..20}; do
    [[ $(state "$1") == "4 "* ]] && return
    sleep 0.5
  done
}
expect_state() {  # expect_state <what> <name> <expected>
  local actual
  actual=$(state "$2")
  if [ "$actual" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: '$actual', not '$3'"; failures=$((failures + 1)); fi
}

text skipped "CONFIGURATION SKIPPED" ""
text failed "EXECUTION FAILED" ""

register Dnscache normal
text on "Activating DNS cache ..." ""
check "+cache" "$banner$on$skipped" +cache -config
expect_state "+cache starts it, automatic" Dnscache "4 2"
text off "Deactivating DNS cache ..." ""
check "-cache" "$banner$off$skipped" -cache -config
expect_state "-cache stops it, on demand" Dnscache "1 3"
check "-cache when already off" "$banner$off$skipped" -cache -config

register Dnscache failstart
text not_on "Activating DNS cache ..." "DNS cache not activated!" ""
check "+cache, service fails to start" "$banner$not_on$failed" +cache -config
check "+cache, service fails to start, +config -config" "$banner$not_on$skipped" +cache +config -config

remove Dnscache
text not_off "Deactivating DNS cache ..." "DNS cache not deactivated!" ""
check "-cache, no such service" "$banner$not_off$failed" -cache

register Dnscache refusestop
start Dnscache
check "-cache, service refuses to stop" "$banner$not_off$failed" -cache -config
expect_state "refused stop: still running, start type changed" Dnscache "4 3"

# A configuration run stops a running named (on demand first) before it
# touches etc; it fails at the download here (no server on that port).
mkdir -p "$work/bind/bin"
: >"$work/bind/bin/rndc-confgen.exe"
"${emulator[@]}" reg add 'HKLM\Software\ISC\BIND' /v InstallDir /t REG_SZ /d "$(windows_path "$work/bind")" /f >/dev/null
register named normal
start named
text stopped "Searching folder ..." "Searching bin-folder ..." "Searching rndc-confgen.exe ..." "Stopping service ..." \
  "Creating etc-folder ..." "Downloading named.root ..." "named.root not downloaded!" "" "CONFIGURATION FAILED" ""
http_proxy=http://127.0.0.1:9 check "configuration stops named" "$banner$stopped"
expect_state "named stopped, on demand" named "1 3"

[ "$failures" -eq 0 ]
