#!/usr/bin/env bash
# Runs the download backend tests. "served": against the local HTTP server,
# which the client reaches as its proxy, so the URL stays the tool's own.
# "refused": with the proxy on a closed port.
# Usage: download_test.sh served|refused <test binary> [emulator words...]
set -euo pipefail
tests=$(cd "$(dirname "$0")/.." && pwd)
mode=$1
binary=$2
shift 2
emulator=("$@")

work=$(mktemp -d)
http_server_pid=""
cleanup() {
  if [ -n "$http_server_pid" ]; then
    kill "$http_server_pid" 2>/dev/null || true
    wait "$http_server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A path as the test binary names it: Wine maps / to drive Z:.
native() {
  case "$binary" in
    *.exe) printf 'Z:%s' "${1//\//\\}" ;;
    *) printf '%s' "$1" ;;
  esac
}

hints=/usr/share/dns/root.hints
case "$mode" in
  served)
    . "$tests/fixtures/http_server.sh"
    start_http_server "$work" "$hints"
    port=$http_server_port
    filter='-Refused*'
    ;;
  refused)
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    filter='Refused*'
    ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

unset no_proxy NO_PROXY
export http_proxy=http://127.0.0.1:$port
ZEPHRANE_TEST_WORK=$(native "$work")
ZEPHRANE_TEST_SCENARIO=$(native "$work/scenario")
ZEPHRANE_TEST_REQUESTS=$(native "$work/requests")
ZEPHRANE_TEST_ROOT_HINTS=$(native "$hints")
export ZEPHRANE_TEST_WORK ZEPHRANE_TEST_SCENARIO ZEPHRANE_TEST_REQUESTS ZEPHRANE_TEST_ROOT_HINTS
"${emulator[@]}" "$binary" --gtest_filter="$filter"
