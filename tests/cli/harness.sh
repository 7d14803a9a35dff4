# Shared by the shell tool's tests: a scratch folder, the emulators a test
# starts (stopped on every way out), and kvr7x's run with its exit status.
# Sourced after the test has set $kvr7x and $emulator.
scratch=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "$*" >&2; exit 1; }

# start NAME [ARGS...]: an emulator on a port it picks; its URL in $url.
start() {
  name=$1
  shift
  mkfifo "$scratch/$name.out"
  "$emulator" --listen 127.0.0.1:0 "$@" >"$scratch/$name.out" 2>"$scratch/$name.err" &
  pids="$pids $!"
  exec 3<"$scratch/$name.out"
  read -r served <&3 || fail "the emulator $name did not start: $(cat "$scratch/$name.err")"
  exec 3<&-
  url=${served#*serving }
  case "$url" in rfc2217://127.0.0.1:*) ;; *) fail "the emulator $name says: $served" ;; esac
}

# run EXPECTED-STATUS ARGS...: kvr7x's output in $scratch/out and err.
run() {
  expected=$1
  shift
  status=0
  "$kvr7x" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
  [ "$status" -eq "$expected" ] \
    || fail "kvr7x $*: exit status $status, not $expected; out: $(cat "$scratch/out") err: $(cat "$scratch/err")"
}
