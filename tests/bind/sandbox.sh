# A throw-away machine for the POSIX build against Debian's real BIND, sourced
# by the real-BIND suite and by scripts/demo. Run the sourcing script under
# tests/fixtures/reaper.py (named outlives the stand-in that starts it).
#
# sandbox_preflight   says whether named can run here: 0 yes, 77 it cannot
#                     (message on stderr; a reason to skip), 1 port 953 is taken
# sandbox_create      makes the sandbox and removes it again on exit, Ctrl-C
#                     or termination; sets and exports:
#   SANDBOX             the temporary folder
#   BIND_DIR            the installation folder, with a blank in its name
#   ETC                 BIND_DIR's etc/, which the tool writes
#   ZEPHRANE_REGISTRY   a registry naming BIND_DIR as InstallDir
#   NAMED_STANDIN_DIR, NAMED_PORT   for the systemctl stand-in, first on PATH
#   http_proxy          the local HTTP server that serves Debian's root hints
# sandbox_named_log   named's output since its latest start

sandbox_fixtures=$(cd "$(dirname "${BASH_SOURCE[0]}")/../fixtures" && pwd)
sandbox_root_hints=/usr/share/dns/root.hints
case ":$PATH:" in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin ;; esac  # named, rndc, rndc-confgen

sandbox_preflight() {
  local bound=0
  if ! named -V >/dev/null 2>&1; then
    echo "named cannot run here (Debian's bind9 installs it: bash scripts/install-deps)" >&2
    return 77
  fi
  # named.conf puts the control channel on 127.0.0.1:953 and nothing moves it.
  python3 -c '
import errno, socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", 953))
except OSError as e:
    sys.exit(77 if e.errno == errno.EACCES else 1)' || bound=$?
  case $bound in
    0) return 0 ;;
    77) echo "port 953 is privileged here: run as root (named serves its control channel there)" >&2 ;;
    *) echo "port 953 on 127.0.0.1 is taken (another named?): the generated named.conf needs it for rndc" >&2 ;;
  esac
  return "$bound"
}

# A port that is free for both TCP and UDP on every address, as named binds both.
sandbox_free_port() {
  python3 -c '
import socket
while True:
    tcp = socket.socket()
    tcp.bind(("", 0))
    port = tcp.getsockname()[1]
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        udp.bind(("", port))
    except OSError:
        continue
    print(port)
    break'
}

sandbox_destroy() {
  trap '' INT TERM
  [ -n "${SANDBOX:-}" ] || return 0
  [ -d "$NAMED_STANDIN_DIR" ] && { "$sandbox_fixtures/systemctl-named/systemctl" stop named || true; }
  if [ -n "${http_server_pid:-}" ]; then
    kill "$http_server_pid" 2>/dev/null || true
    wait "$http_server_pid" 2>/dev/null || true
  fi
  rm -rf "$SANDBOX"
  SANDBOX=
}

sandbox_create() {
  SANDBOX=$(mktemp -d)
  trap sandbox_destroy EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  BIND_DIR="$SANDBOX/ISC BIND/"
  ETC=${BIND_DIR}etc/
  ZEPHRANE_REGISTRY=$SANDBOX/registry
  NAMED_STANDIN_DIR=$SANDBOX/unit
  mkdir -p "${BIND_DIR}bin" "$ZEPHRANE_REGISTRY/Software/ISC/BIND" "$NAMED_STANDIN_DIR" "$SANDBOX/http"
  echo "$BIND_DIR" >"$ZEPHRANE_REGISTRY/Software/ISC/BIND/InstallDir"
  ln -s /usr/sbin/rndc-confgen "${BIND_DIR}bin/rndc-confgen"
  NAMED_PORT=$(sandbox_free_port)
  PATH=$sandbox_fixtures/systemctl-named:$PATH
  . "$sandbox_fixtures/http_server.sh"
  start_http_server "$SANDBOX/http" "$sandbox_root_hints"
  unset no_proxy NO_PROXY
  http_proxy=http://127.0.0.1:$http_server_port
  export SANDBOX BIND_DIR ETC ZEPHRANE_REGISTRY NAMED_STANDIN_DIR NAMED_PORT PATH http_proxy
}

sandbox_named_log() {
  cat "$NAMED_STANDIN_DIR/named.log" 2>/dev/null || true
}
