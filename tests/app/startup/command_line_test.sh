#!/bin/sh
# kvrman1 on a terminal: --help and --version answer there without a
# display, and without a display the program ends with one clear line
# instead of Qt's abort.
# Usage: command_line_test.sh PATH-TO-kvrman1
set -eu
program=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
fail() { echo "$*" >&2; exit 1; }

# No display of any kind, and Qt left to choose its platform.
headless() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$scratch/config" \
    XDG_RUNTIME_DIR="$scratch" "$@"
}

headless "$program" --version >"$scratch/out" 2>"$scratch/err" || fail "--version failed: $(cat "$scratch/err")"
head -n 1 "$scratch/out" | grep -Eq '^kvrman1 [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+ \(Kvr Manager V3\.01\)$' \
  || fail "--version says: $(cat "$scratch/out")"
[ ! -s "$scratch/err" ] || fail "--version wrote to standard error: $(cat "$scratch/err")"

headless "$program" --help >"$scratch/out" 2>"$scratch/err" || fail "--help failed: $(cat "$scratch/err")"
head -n 1 "$scratch/out" | grep -q '^Usage: kvrman1' || fail "--help says: $(cat "$scratch/out")"
grep -q 'KVRMAN1.INI' "$scratch/out" || fail "--help does not say where the settings are"
for setting in '\[Commands\]' 'Database=' 'KVR_COMMANDS_DB'; do
  grep -q "$setting" "$scratch/out" || fail "--help does not tell of $setting (the team library)"
done
[ ! -s "$scratch/err" ] || fail "--help wrote to standard error: $(cat "$scratch/err")"

# Without a display, and with a display nobody serves: one line, exit 1.
for display in "" ":4711"; do
  status=0
  if [ -z "$display" ]; then
    headless "$program" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
  else
    headless env DISPLAY="$display" "$program" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
  fi
  [ "$status" -eq 1 ] || fail "DISPLAY='$display': exit status $status, stderr: $(cat "$scratch/err")"
  [ "$(wc -l <"$scratch/err")" -eq 1 ] || fail "DISPLAY='$display': not one line: $(cat "$scratch/err")"
  grep -q '^kvrman1: cannot open a window: ' "$scratch/err" || fail "DISPLAY='$display' says: $(cat "$scratch/err")"
  echo "DISPLAY='$display': $(cat "$scratch/err")"
done
[ ! -e "$scratch/config/kvrman1" ] || fail "a settings file was written without a window"
