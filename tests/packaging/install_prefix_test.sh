#!/bin/sh
# "cmake --install BUILD --prefix P" writes every file under P, the PC/SC
# reader.conf template included (P/etc/reader.conf.d/kvr7x, naming the
# handler under P).  The install is staged under DESTDIR, so that a file
# meant for the system would show up outside P there instead of landing in
# the system.
# Usage: install_prefix_test.sh BUILD-DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
fail() { echo "$*" >&2; exit 1; }

prefix=$scratch/prefix
DESTDIR="$scratch/stage" cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 \
  || fail "the install failed: $(cat "$scratch/install.log")"
(cd "$scratch/stage" && find . ! -type d | sed 's|^\.||') >"$scratch/files"
[ -s "$scratch/files" ] || fail "the install wrote nothing"
outside=$(grep -v "^$prefix/" "$scratch/files" || true)
[ -z "$outside" ] || fail "the install wrote outside its prefix: $outside"
grep -qx "$prefix/bin/kvr7x-emu" "$scratch/files" || fail "no bin/kvr7x-emu under the prefix: $(cat "$scratch/files")"
if grep -q '/libifdkvr7x\.so$' "$scratch/files"; then
  snippet=$scratch/stage$prefix/etc/reader.conf.d/kvr7x
  [ -f "$snippet" ] || fail "no etc/reader.conf.d/kvr7x under the prefix: $(cat "$scratch/files")"
  grep -q "^#LIBPATH.*$prefix/lib/pcsc/drivers/serial/libifdkvr7x.so" "$snippet" \
    || fail "the template names another handler: $(cat "$snippet")"
fi
# The log names the same files.
if grep -- '-- Installing: ' "$scratch/install.log" | grep -v -- "-- Installing: $scratch/stage$prefix/"; then
  fail "the install log names files outside the prefix"
fi
echo "$(wc -l <"$scratch/files") files, all under the prefix"
