#!/bin/sh
# kvr7x scripts as tests, against the reader emulator: a script whose
# replies are what it expects, the same with one expectation changed (exit
# 1, the failure line, a JUnit report with one failure), $SW2 after 61xx,
# -k going on, a run recorded and run again, and a run recorded as emulator
# rules on a card that answers otherwise than the built-in one, replayed by
# a second emulator started with those rules.  Then the script sources that
# are no script (a folder, standard input closed, an endless input, an
# over-long line) and JSON that stays UTF-8 whatever the bytes of a port.
# Usage: kvr7x_script_test.sh PATH-TO-kvr7x PATH-TO-kvr7x-emu
set -eu
kvr7x=$1
emulator=$2
py=/usr/bin/python3
. "$(dirname "$0")/harness.sh"

err_says() { grep -qxF -- "$1" "$scratch/err" || fail "kvr7x does not say \"$1\" on stderr: $(cat "$scratch/err")"; }
# junit FILE TESTS FAILURES SKIPPED: the report is XML with those counts.
junit() {
  "$py" - "$@" <<'PY' || fail "the JUnit report $1 is not what the run did: $(cat "$1")"
import sys, xml.etree.ElementTree as ET
path, tests, failures, skipped = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
suite = ET.parse(path).getroot().find("testsuite")
cases = suite.findall("testcase")
assert int(suite.get("tests")) == tests == len(cases), (suite.attrib, len(cases))
assert int(suite.get("failures")) == failures == len(suite.findall("testcase/failure")), suite.attrib
assert int(suite.get("skipped")) == skipped == len(suite.findall("testcase/skipped")), suite.attrib
assert all(c.get("name").startswith("line ") for c in cases), [c.get("name") for c in cases]
assert all(float(c.get("time")) >= 0 for c in cases)
PY
}

start builtin
builtin=$url
# The "real" card: a label the built-in card does not have.
cat >"$scratch/real.rules" <<'RULES'
21 00 B0 00 00 0E => 00 90 00 | 52 45 41 4C 20 43 41 52 44 20 4C 41 42 45
RULES
start real --rules "$scratch/real.rules"
real=$url

cat >"$scratch/card.kvs" <<'SCRIPT'
# the emulator's card, checked
send 20 00 80 00 00 00      => 9000 3B *             # activate (T=0): the ATR
isoout 0 00 B0 00 00 0E     => 6986                  # no file selected yet
isoin  0 00 A4 00 00 2F00   => 61??                  # select the label: FCI waits
isoout 0 00 C0 00 00 $SW2   => 9000 6F *             # GET RESPONSE of its length
isoin  0 00 A4 00 0C 2F00   => 9000
isoout 0 00 B0 00 00 0E     => 9000 56 45 58 41 *    # VEXA DEMO CARD
status                      => stat 00
status 2                    => stat 50               # no SAM in slot 2
SCRIPT
run 0 -p "$builtin" --junit "$scratch/pass.xml" run "$scratch/card.kvs"
[ ! -s "$scratch/err" ] || fail "a passing script said: $(cat "$scratch/err")"
junit "$scratch/pass.xml" 8 0 0

# $SW2 after 61xx: the GET RESPONSE asked for what the select announced.
run 0 -p "$builtin" --json run "$scratch/card.kvs"
"$py" - "$scratch/out" <<'PY' || fail "the JSON lines are not what the script got: $(cat "$scratch/out")"
import json, sys
r = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert [x["line"] for x in r] == [2, 3, 4, 5, 6, 7, 8, 9], r
assert all(x["verdict"] == "pass" for x in r), r
assert r[2]["sw1"] == "61" and r[2]["expect"] == "61??", r[2]
assert r[3]["text"] == "isoout 0 00 C0 00 00 $SW2", r[3]
assert len(bytes.fromhex(r[3]["data"])) == int(r[2]["sw2"], 16) > 0, (r[2], r[3])
assert r[7]["stat"] == "50" and r[7]["expect"] == "stat 50" and not r[7]["ok"], r[7]
PY

# One expectation changed: exit 1, the failure line, the run stops there.
sed 's/9000 56 45 58 41 \*/9000 56 45 58 42 */' "$scratch/card.kvs" >"$scratch/changed.kvs"
run 1 -p "$builtin" --junit "$scratch/fail.xml" run "$scratch/changed.kvs"
err_says "$scratch/changed.kvs:7: isoout 0 00 B0 00 00 0E: expected DATA 56 45 58 42 *, got 56 45 58 41 20 44 45 4D 4F 20 43 41 52 44"
if grep -q '^> status' "$scratch/out"; then fail "the script went on after its failure: $(cat "$scratch/out")"; fi
junit "$scratch/fail.xml" 8 1 2
grep -q 'message="[^"]*changed.kvs:7: isoout 0 00 B0 00 00 0E: expected DATA' "$scratch/fail.xml" \
  || fail "the JUnit failure does not carry the line: $(cat "$scratch/fail.xml")"
run 1 -p "$builtin" --json run "$scratch/changed.kvs"
"$py" - "$scratch/out" <<'PY' || fail "the failed line's JSON: $(cat "$scratch/out")"
import json, sys
r = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert len(r) == 6 and r[-1]["verdict"] == "fail" and r[-1]["ok"], r[-1]
assert r[-1]["failure"].endswith(": expected DATA 56 45 58 42 *, got 56 45 58 41 20 44 45 4D 4F 20 43 41 52 44"), r[-1]
PY

# -k goes on to the end.
run 1 -p "$builtin" -k --junit "$scratch/keep.xml" run "$scratch/changed.kvs"
grep -qx '> status 2' "$scratch/out" || fail "-k did not go on: $(cat "$scratch/out")"
junit "$scratch/keep.xml" 8 1 0

# A golden run: recorded, then run again passing.
run 0 -p "$builtin" --record "$scratch/golden.kvs" run "$scratch/card.kvs"
grep -qxF 'isoout 0 00 C0 00 00 $SW2 => 9000 6F 0B 80 02 00 0E 82 01 01 83 02 2F 00  # GET RESPONSE of its length' \
  "$scratch/golden.kvs" || fail "the recorded script: $(cat "$scratch/golden.kvs")"
grep -qx '# the emulator.s card, checked' "$scratch/golden.kvs" || fail "the comment was lost: $(cat "$scratch/golden.kvs")"
run 0 -p "$builtin" run "$scratch/golden.kvs"

# A bench session on the "real" card kept as emulator rules, replayed by a
# second emulator that answers from them where the built-in card would not.
cat >"$scratch/bench.kvs" <<'SCRIPT'
send 20 00 80 00 00 00
isoin 0 00 A4 00 0C 2F00
isoout 0 00 B0 00 00 0E
status
SCRIPT
run 0 -p "$real" --record "$scratch/bench-golden.kvs" --record-rules "$scratch/bench.rules" run "$scratch/bench.kvs"
grep -qx '21 00 B0 00 00 0E => 00 90 00 | 52 45 41 4C 20 43 41 52 44 20 4C 41 42 45' "$scratch/bench.rules" \
  || fail "the recorded rules: $(cat "$scratch/bench.rules")"
start replay --rules "$scratch/bench.rules"
run 0 -p "$url" run "$scratch/bench-golden.kvs"
grep -qx 'TEXT REAL CARD LABE' "$scratch/out" || fail "the replay did not answer from the rules: $(cat "$scratch/out")"
run 1 -p "$builtin" run "$scratch/bench-golden.kvs"
grep -q 'bench-golden.kvs:3: isoout 0 00 B0 00 00 0E: expected DATA 52 45 41 4C' "$scratch/err" \
  || fail "the built-in card should answer otherwise: $(cat "$scratch/err")"

# Script errors: exit 2, nothing sent, before the port opens (the port here
# does not exist, which would be exit 1).
nowhere="$scratch/no-such-tty"
printf 'reset\nisoout 0 00 C0 00 00 $SW1\n' >"$scratch/bad.kvs"
run 2 -p "$nowhere" run "$scratch/bad.kvs"
grep -q 'bad.kvs:2: \$SW1 takes the status word of the line before, and reset gives none' "$scratch/err" \
  || fail "the script error: $(cat "$scratch/err")"
run 2 -p "$nowhere" run "$scratch"
grep -q "is a folder, not a script" "$scratch/err" || fail "a folder: $(cat "$scratch/err")"
status=0
"$kvr7x" -p "$nowhere" run - <&- >"$scratch/out" 2>"$scratch/err" || status=$?
[ "$status" -eq 2 ] && grep -q 'standard input is closed' "$scratch/err" \
  || fail "standard input closed: $status $(cat "$scratch/err")"
status=0
yes status | "$kvr7x" -p "$nowhere" run - >"$scratch/out" 2>"$scratch/err" || status=$?
[ "$status" -eq 2 ] && grep -q '^kvr7x: standard input:149797: the script is longer than 1048576 bytes' "$scratch/err" \
  || fail "an endless input: $status $(cat "$scratch/err")"
run 2 -p "$nowhere" run /dev/zero
grep -q '^kvr7x: /dev/zero:1: the line is longer than 4096 bytes' "$scratch/err" || fail "/dev/zero: $(cat "$scratch/err")"
run 2 -p "$nowhere" --record "$scratch/no-such-dir/out.kvs" run "$scratch/card.kvs"
grep -q 'cannot write .*no-such-dir/out.kvs: No such file or directory' "$scratch/err" \
  || fail "an unwritable record: $(cat "$scratch/err")"

# Options anywhere on the line, -t before the command's name too.
run 0 -t 2000 -p "$builtin" send 20 00 10 00 00 00
run 0 -p "$builtin" -t 2000 --json send 20 00 10 00 00 00
run 2 -p "$builtin" -t 2000 status
grep -q -- '-t applies to send, isoin and isoout' "$scratch/err" || fail "-t on status: $(cat "$scratch/err")"

# JSON is UTF-8 whatever the bytes of what it echoes: a port name with each
# byte value 1..255 (no argument holds a NUL), the exact bytes in "port_hex"
# when the name is not UTF-8.
: >"$scratch/ports.json"
byte=1
while [ "$byte" -le 255 ]; do
  name=$(printf "/nowhere/x\\$(printf %03o "$byte")y")
  "$kvr7x" --json -p "$name" status >>"$scratch/ports.json" 2>/dev/null && fail "a port named with byte $byte opened"
  byte=$((byte + 1))
done
"$py" - "$scratch/ports.json" <<'PY' || fail "the JSON of the port names is not valid UTF-8 JSON"
import json, sys
lines = open(sys.argv[1], "rb").read().split(b"\n")[:-1]
assert len(lines) == 255, len(lines)
for byte, line in zip(range(1, 256), lines):
    reply = json.loads(line.decode("utf-8"))  # strict: raises on a byte that is no UTF-8
    name = b"/nowhere/x" + (b"\n" if byte == 10 else bytes([byte])) + b"y"
    if byte == 10:
        continue  # the shell's $(...) drops the newline it ends with: not the name asked for
    if "port_hex" in reply:
        assert bytes.fromhex(reply["port_hex"]) == name, (byte, reply)
        assert byte >= 0x80, (byte, reply)
    else:
        assert reply["port"].encode("utf-8") == name, (byte, reply)
PY
echo "kvr7x scripts checked against $builtin and $real"
