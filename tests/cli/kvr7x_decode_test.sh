#!/bin/sh
# kvr7x --decode against the reader emulator: the card's activation answer,
# an FCI that a rules file gives for a SELECT by name, and a crafted ATR
# with a wrong check byte for SAM 1's activation, as lines under each reply
# and as JSON objects with the keys of kvr7x(1).
# Usage: kvr7x_decode_test.sh PATH-TO-kvr7x PATH-TO-kvr7x-emu
set -eu
kvr7x=$1
emulator=$2
. "$(dirname "$0")/harness.sh"

cat >"$scratch/card.rules" <<'RULES'
# SELECT by DF name: an FCI with a proprietary template
A1 00 A4 04 00 * => 00 90 00 | 6F 1A 84 07 A0 00 00 00 04 10 10 A5 0F 50 0A 4D 41 53 54 45 52 43 41 52 44 87 01 01
# SAM 1's activation: T=1 offered, TCK 52 where 81 is right
20 00 80 01 00 00 => 00 90 00 | 3B 80 01 52
RULES
start emulator --rules "$scratch/card.rules"

cat >"$scratch/decode.kvr" <<'SCRIPT'
send 20 00 80 00 00 00
send A1 00 A4 04 00 07 A0000000041010
send 20 00 80 01 00 00
isoin 0 00 A4 00 0C 7F7F
SCRIPT

"$kvr7x" -p "$url" --decode run "$scratch/decode.kvr" >"$scratch/out" 2>"$scratch/err" \
  || fail "kvr7x --decode failed: $(cat "$scratch/out") $(cat "$scratch/err")"
says() { grep -qxF -- "$1" "$scratch/out" || fail "kvr7x --decode does not say \"$1\": $(cat "$scratch/out")"; }
says "ATR ATR de 12 bytes, TS 3B: convención directa"
says "ATR Sin TCK: solo se ofrece T=0"
says "TLV 6F [26] Plantilla FCI"
says "TLV   84 [7] Nombre de DF: A0 00 00 00 04 10 10"
says 'TLV     50 [10] Etiqueta de aplicación: 4D 41 53 54 45 52 43 41 52 44 ("MASTERCARD")'
says "ATR TCK 52: incorrecto, debería ser 81"
says "MEANING Fichero o aplicación no encontrado"

"$kvr7x" -p "$url" --decode --json run "$scratch/decode.kvr" >"$scratch/out" 2>"$scratch/err" \
  || fail "kvr7x --decode --json failed: $(cat "$scratch/out") $(cat "$scratch/err")"
python3 - "$scratch/out" <<'PY' || fail "the JSON decodings are not the replies': $(cat "$scratch/out")"
import json, sys
card, fci, sam, missing = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
atr = card["atr"]
assert atr["convention"] == "direct" and atr["protocols"] == [0], atr
assert (atr["fi"], atr["di"], atr["fmax_khz"], atr["cycles_per_etu"]) == (372, 1, 5000, 372), atr
assert atr["historical"] == b"VEXADEMO".hex().upper() and atr["historical_text"] == "VEXADEMO", atr
assert atr["tck"] == {"present": False}, atr
assert [b["name"] for b in atr["interface"]] == ["TB1", "TC1"], atr
assert card["meaning"] == "Proceso correcto", card
assert "tlv" not in card, card

top = fci["tlv"]
assert len(top) == 1 and top[0]["tag"] == "6F" and top[0]["length"] == 26, top
name, proprietary = top[0]["children"]
assert name == {"tag": "84", "length": 7, "name": "Nombre de DF", "value": "A0000000041010"}, name
assert proprietary["tag"] == "A5" and [c["tag"] for c in proprietary["children"]] == ["50", "87"], proprietary
assert proprietary["children"][0]["meaning"] == '"MASTERCARD"', proprietary
assert "atr" not in fci, fci

assert sam["atr"]["protocols"] == [1], sam
assert sam["atr"]["tck"] == {"present": True, "value": "52", "ok": False, "expected": "81"}, sam

assert missing["meaning"] == "Fichero o aplicación no encontrado", missing
assert "atr" not in missing and "tlv" not in missing, missing
PY

# Without --decode the replies are as before: no decoding members.
"$kvr7x" -p "$url" --json run "$scratch/decode.kvr" >"$scratch/out" 2>"$scratch/err" || fail "kvr7x --json failed"
if grep -q '"atr"\|"tlv"\|"meaning"' "$scratch/out"; then fail "decoded without --decode: $(cat "$scratch/out")"; fi
echo "kvr7x decoded the replies of $url"
