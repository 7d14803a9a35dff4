#!/bin/sh
# kvr7x against the reader emulator, as a script would use it: the card's
# label file read as the README shows (6986 before its file is selected),
# a script stopping at its first failure or going on with -k, JSON lines,
# and the exit statuses 0, 1 (reader error) and 2 (usage error).
# Usage: kvr7x_test.sh PATH-TO-kvr7x PATH-TO-kvr7x-emu
set -eu
kvr7x=$1
emulator=$2
. "$(dirname "$0")/harness.sh"

start emulator

says() { grep -qx -- "$1" "$scratch/out" || fail "kvr7x does not say \"$1\": $(cat "$scratch/out")"; }

run 0 -p "$url" reset
grep -q '^TEXT VEXA KVR' "$scratch/out" || fail "reset shows no identification: $(cat "$scratch/out")"
says "Comando procesado correctamente"
run 0 -p "$url" status
says "STAT 00"
says "CARD present"
says "POWER on"

# The label: 6986 until the file is selected, then its 14 bytes.  Every run
# opens the port, which resets the reader (and so deactivates the card), so
# commands that build on each other go in one script, here on standard input.
printf '%s\n' 'send 20 00 80 00 00 00' 'isoout 0 00 B0 00 00 0E' 'isoin 0 00 A4 00 0C 2F00' \
  'send 21 00 B0 00 00 0E -t 2000' | run 0 -p "$url" run -
sed -n '/^> isoout/,/^> isoin/p' "$scratch/out" | grep -qx "STAT 00  SW1 69  SW2 86" \
  || fail "the label was read before it was selected: $(cat "$scratch/out")"
says "STAT 00  SW1 90  SW2 00"
says "STAT 00  SW1 90  SW2 00  LEN 0E"
says "DATA 56 45 58 41 20 44 45 4D 4F 20 43 41 52 44"
says "TEXT VEXA DEMO CARD"
run 1 -p "$url" isoout 0 00 B0 00 00 0E
says "La tarjeta no está alimentada"

# A reader error: STAT 50 for the empty SAM slot 2, exit 1.
run 1 -p "$url" status 2
says "No hay tarjeta"

# Usage errors: nothing is sent, exit 2.
run 2 -p "$url" send 20 00
grep -q '^kvr7x: usage: send CODE' "$scratch/err" || fail "the usage error says: $(cat "$scratch/err")"
[ ! -s "$scratch/out" ] || fail "a usage error printed: $(cat "$scratch/out")"
run 2 -p "$url" frobnicate
run 2 -p "$url" run "$scratch/no-such-script"

# A port that does not open: exit 1.
run 1 -p "$scratch/no-such-tty" status
grep -q 'does not open' "$scratch/err" || fail "a port that does not open says: $(cat "$scratch/err")"

# A script stops at its first failure; -k goes on; a bad line sends nothing.
cat >"$scratch/label.kvr" <<'SCRIPT'
# the card's label
send 20 00 80 00 00 00
isoin 0 00 A4 00 0C 2F00   # select it
status 2                   # fails: no module in SAM slot 2
isoout 0 00 B0 00 00 0E
SCRIPT
run 1 -p "$url" run "$scratch/label.kvr"
says "> status 2"
if grep -q '^> isoout' "$scratch/out"; then fail "the script went on after its failure: $(cat "$scratch/out")"; fi
run 1 -p "$url" -k run "$scratch/label.kvr"
says "> isoout 0 00 B0 00 00 0E"
says "TEXT VEXA DEMO CARD"
printf 'reset\nsend 20 zz\n' >"$scratch/bad.kvr"
run 2 -p "$url" run "$scratch/bad.kvr"
grep -q "bad.kvr:2: " "$scratch/err" || fail "the bad line is not named: $(cat "$scratch/err")"
[ ! -s "$scratch/out" ] || fail "a script with a bad line sent: $(cat "$scratch/out")"

# JSON: one object a command, each line for a JSON parser.
run 1 -p "$url" --json -k run "$scratch/label.kvr"
[ "$(wc -l <"$scratch/out")" -eq 4 ] || fail "not one JSON line a command: $(cat "$scratch/out")"
python3 - "$scratch/out" <<'PY' || fail "the JSON lines are not what the script got: $(cat "$scratch/out")"
import json, sys
replies = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert [r["line"] for r in replies] == [2, 3, 4, 5], replies
assert [r["ok"] for r in replies] == [True, True, False, True], replies
assert replies[2]["status"] == "No hay tarjeta", replies[2]
assert replies[3]["sw1"] + replies[3]["sw2"] == "9000", replies[3]
assert bytes.fromhex(replies[3]["data"]) == b"VEXA DEMO CARD", replies[3]
PY

# --version and --help without a reader.
run 0 --version
grep -Eq '^kvr7x [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' "$scratch/out" || fail "--version says: $(cat "$scratch/out")"
run 0 --help
grep -q '^Usage: kvr7x' "$scratch/out" || fail "--help says: $(cat "$scratch/out")"
echo "kvr7x answered on $url"
