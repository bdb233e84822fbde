#!/usr/bin/env bash
# The executable's own transcripts, byte for byte: help, -config, and a
# configuration on a machine without BIND.
# Usage: cli_test.sh <executable> [emulator words...]
set -euo pipefail
exe=$1
shift
emulator=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZEPHRANE_REGISTRY=$work/registry  # POSIX: an empty registry
mkdir -p "$ZEPHRANE_REGISTRY"
. "$(dirname "$0")/transcript.sh"

usage=$(lines "$name [-cache|+cache] [-config|+config] [help] [start]" "" \
  "-cache    deactivate Windows DNS cache" \
  "+cache    activate Windows DNS cache" \
  "-config   skip configuration" \
  "+config   force configuration (on cache error)" \
  "help      show this help" \
  "start     start BIND service" ""; echo x)
usage=${usage%x}
check "help" "$banner$usage" help
check "help among other words" "$banner$usage" -cache "Help" start
skipped=$(lines "CONFIGURATION SKIPPED" ""; echo x)
check "-config" "$banner${skipped%x}" -config
check "start -config" "$banner${skipped%x}" start -CONFIG
nobind=$(lines "Searching folder ..." "Folder not found!" "" "CONFIGURATION FAILED" ""; echo x)
check "no BIND" "$banner${nobind%x}"
check "slash and dash forms are no options" "$banner${nobind%x}" /help --help

[ "$failures" -eq 0 ]
