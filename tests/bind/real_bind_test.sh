#!/usr/bin/env bash
# The POSIX build against Debian's real BIND: what `zephrane start` writes
# must pass BIND's checkers and make named answer for this machine only, with
# rndc holding the key named holds; a second run while named runs must stop
# it, keep the first configuration untouched as the backup and bring named
# back with a new key. Exits 77 (skipped) when named cannot run here.
# Usage: reaper.py real_bind_test.sh <zephrane executable>
set -euo pipefail
exe=$(realpath "$1")
emulator=()
here=$(cd "$(dirname "$0")" && pwd)
started=$SECONDS

. "$here/sandbox.sh"
sandbox_preflight || exit $?
sandbox_create
work=$SANDBOX
. "$here/../cli/transcript.sh"

expect() {  # expect <what> <command...>
  if "${@:2}"; then
    echo "ok: $1"
  else
    echo "FAIL: $1"
    failures=$((failures + 1))
  fi
}

same() {  # same <what> <expected> <actual>
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAIL: $1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") || true
    failures=$((failures + 1))
  fi
}

fails() { ! "$@" >/dev/null 2>&1; }

quietly() {  # a command whose output matters only when it fails
  local output
  output=$("$@" 2>&1) || { printf '%s\n' "$output"; return 1; }
}

# dig's verdict in a comparable form: status, header flags, answer records.
query() {
  dig -p "$NAMED_PORT" @127.0.0.1 +time=2 +tries=1 +noall +comments +answer "$@" | awk '
    /->>HEADER<<-/ { sub(/.*status: /, ""); sub(/,.*/, ""); print "status: " $0; next }
    /^;; flags:/ { sub(/^;; flags: /, ""); sub(/;.*/, ""); print "flags: " $0; next }
    /^[^;]/ && NF { $1 = $1; print }'
}

standin() { "$here/../fixtures/systemctl-named/systemctl" "$@"; }
named_pid() { cat "$NAMED_STANDIN_DIR/named.pid" 2>/dev/null || true; }
ended() {  # the process is gone, or a zombie not yet reaped
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
  [ -z "$state" ] || [ "$state" = Z ]
}
secret() { grep -h 'secret "' "$1"; }
files=(named.conf rndc.conf localhost.zone named.local named.root)

# What a run leaves: files BIND accepts, named answering, rndc in control.
serves() {  # serves <run>
  local run=$1
  expect "$run: named-checkconf -z" quietly named-checkconf -z "${ETC}named.conf"
  expect "$run: named-checkzone localhost" quietly named-checkzone localhost "${ETC}localhost.zone"
  expect "$run: named-checkzone 0.0.127.in-addr.arpa" quietly named-checkzone 0.0.127.in-addr.arpa "${ETC}named.local"
  same "$run: named enabled and running" "$(printf '%s\n' LoadState=loaded ActiveState=active UnitFileState=enabled)" \
    "$(standin show named)"
  same "$run: localhost A, authoritative, recursion offered" \
    "$(printf '%s\n' "status: NOERROR" "flags: qr aa rd ra" "localhost. 259200 IN A 127.0.0.1")" \
    "$(query localhost A)"
  same "$run: 127.0.0.1 PTR, authoritative" \
    "$(printf '%s\n' "status: NOERROR" "flags: qr aa rd ra" "1.0.0.127.in-addr.arpa. 259200 IN PTR localhost.")" \
    "$(query -x 127.0.0.1)"
  same "$run: a query from 127.0.0.2 refused" "$(printf '%s\n' "status: REFUSED" "flags: qr rd")" \
    "$(query -b 127.0.0.2 localhost A)"
  expect "$run: rndc status with etc/rndc.conf" quietly rndc -c "${ETC}rndc.conf" status
  expect "$run: no rndc.key left" test ! -e "${ETC}rndc.key"
}

text head "Searching folder ..." "Searching bin-folder ..." "Searching rndc-confgen ..."
text tail "Creating etc-folder ..." "Downloading named.root ..." "Generating rndc.key ..." \
  "wrote key file \"${ETC}rndc.key\"" "Reading rndc.key ..." "Deleting rndc.key ..." "Writing rndc.conf ..." \
  "Writing named.conf ..." "Writing localhost.zone ..." "Writing named.local ..." "Starting service ..." "" \
  "CONFIGURATION SUCCEEDED" ""

# First run: named installed and stopped, no etc folder yet.
check "first run: transcript" "$banner$head$tail" start
serves "first run"
mkdir "$SANDBOX/first"
for f in "${files[@]}"; do cp "$ETC$f" "$SANDBOX/first/"; done
first_pid=$(named_pid)

# Second run, while named runs with the first configuration.
text stopping "Stopping service ..." "Renaming etc-folder ..."
before=$(date +%Y%m%d%H%M%S)
check "second run: transcript" "$banner$head$stopping$tail" start
after=$(date +%Y%m%d%H%M%S)
expect "second run: the first named stopped" ended "$first_pid"
expect "second run: named started anew" test "$(named_pid)" != "$first_pid"
serves "second run"

mapfile -t backups < <(cd "$BIND_DIR" && compgen -G 'etc_[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]' || true)
same "second run: one backup folder" 1 "${#backups[@]}"
backup=$BIND_DIR${backups[0]:-none}/
stamp=${backups[0]:-etc_0}
stamp=${stamp#etc_}
expect "second run: backup named by the time of the run" test "$before" -le "$stamp" -a "$stamp" -le "$after"
for f in "${files[@]}"; do
  expect "second run: backup $f unchanged" cmp "$SANDBOX/first/$f" "$backup$f"
done
expect "second run: a new secret" test "$(secret "${ETC}rndc.conf")" != "$(secret "$SANDBOX/first/rndc.conf")"
expect "second run: the old rndc.conf no longer controls named" fails rndc -c "${backup}rndc.conf" status

echo "real BIND suite: $((SECONDS - started)) s"
if [ "$failures" -ne 0 ]; then
  echo "named's output since its latest start, the end:"
  sandbox_named_log | tail -n 20
fi
[ "$failures" -eq 0 ]
