#!/bin/sh
# The demo's start (scripts/demo-run) with port 7201 held by a reader that
# never answers, the way a leftover or foreign server would hold it:
#   - left to itself, the demo serves on another port and what it runs
#     reaches a reader that answers;
#   - told KVR_DEMO_PORT=7201, it ends with a message naming the port and
#     the variable, and runs nothing;
#   - either way its emulator is gone when it has ended;
#   - without XDG_RUNTIME_DIR, it gives the program a private one.
# Usage: demo_port_test.sh SOURCE_DIR BUILD_DIR READER_CHECK
set -u
source_dir=$1
build=$2
check=$3
work=$(mktemp -d)
occupier=""
cleanup() {
  if [ -n "$occupier" ]; then
    kill "$occupier" 2>/dev/null
    wait "$occupier" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Hold 7201 with a silent reader.  When something else holds it already,
# the port is taken all the same.
"$build/emulator/kvr7x-emu" --silent --listen 127.0.0.1:7201 >"$work/occupier.out" 2>&1 &
occupier=$!
tries=0
until grep -q "serving" "$work/occupier.out" || ! kill -0 "$occupier" 2>/dev/null; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "the silent reader neither listens nor ends"; exit 1; }
  sleep 0.1
done
echo "7201: $(cat "$work/occupier.out")"

# The emulator a run of the demo reports, still running or not.
stopped() {
  pid=$(sed -n 's/^demo: reader emulator (pid \([0-9]*\)).*/\1/p' "$1")
  [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null
}

# Left to itself.
status=0
env -u XDG_RUNTIME_DIR KVR_DEMO_DIR="$work/free" QT_QPA_PLATFORM=offscreen "$source_dir/scripts/demo-run" "$build" \
  "$check" >"$work/free.out" 2>&1 || status=$?
cat "$work/free.out"
[ "$status" -eq 0 ] || fail "the demo's program did not reach an answering reader (exit status $status)"
grep -q "^demo: port 7201 is taken" "$work/free.out" || fail "no word that 7201 is taken"
grep -q "answers with STAT" "$work/free.out" || fail "the reader check did not report an answer"
if grep -q ":7201$" "$work/free/config/kvr7x/ports"; then fail "the port map still leads to 7201"; fi
stopped "$work/free.out" || fail "the demo's emulator still runs after the demo"
# Outside a desktop session the program gets a private runtime folder.
[ "$(stat -c %a "$work/free/runtime" 2>/dev/null)" = 700 ] || fail "no private XDG_RUNTIME_DIR in the demo's folder"

# Told to use 7201.
status=0
KVR_DEMO_PORT=7201 KVR_DEMO_DIR="$work/fixed" QT_QPA_PLATFORM=offscreen \
  "$source_dir/scripts/demo-run" "$build" "$check" >"$work/fixed.out" 2>&1 || status=$?
cat "$work/fixed.out"
[ "$status" -ne 0 ] || fail "the demo went on without a reader on 7201"
grep -q "cannot listen on 127.0.0.1:7201" "$work/fixed.out" || fail "the message does not name the port"
grep -q "KVR_DEMO_PORT" "$work/fixed.out" || fail "the message does not name KVR_DEMO_PORT"
if grep -q "reader check" "$work/fixed.out"; then fail "the program ran without a reader"; fi

[ "$failures" -eq 0 ] && echo "passed"
exit "$failures"
