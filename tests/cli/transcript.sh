# Byte-exact transcripts of the executable, sourced by the test scripts.
# Expects: $exe (the executable), emulator=(words to run it with), $work (the
# folder it runs in). Gives: $nl, $name, lines, $banner, check, $failures.

case "$exe" in
  *.exe) nl=$'\r\n'; name=zephrane.exe ;;
  *) nl=$'\n'; name=zephrane ;;
esac

lines() { local line; for line in "$@"; do printf '%s%s' "$line" "$nl"; done; }
banner=$(lines "" "Zephrane 0.3b1" "Copyright (C) 2026 The Zephrane developers" ""; echo x)
banner=${banner%x}
failures=0
check() {  # check <name> <expected stdout> <words...>
  local what=$1 expected=$2
  shift 2
  local actual status=0
  actual=$( (cd "$work" && "${emulator[@]}" "$exe" "$@"; echo "status=$?") ) || status=$?
  if [ "$actual" != "${expected}status=0" ]; then
    echo "FAIL: $what"
    diff <(printf '%s' "${expected}status=0" | od -c) <(printf '%s' "$actual" | od -c) | head -20 || true
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}

# text <variable> <lines...>: sets the variable to the lines, each one ended.
text() {
  local -n into=$1
  shift
  into=$(lines "$@"; echo x)
  into=${into%x}
}
