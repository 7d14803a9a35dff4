#!/bin/sh
# The install rules of the PC/SC reader driver, staged into a folder of the
# test's own: the handler with exactly the IFD handler calls, bound to
# libKVR7x.so.2, and a reader.conf template for /etc/reader.conf.d that is
# all comments and names the handler where it was installed.
# Usage: handler_install_test.sh BUILD-DIR
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT INT TERM
DESTDIR="$stage" cmake --install "$build" --component pcsc >/dev/null

fail() { echo "$*" >&2; exit 1; }
handler=$(find "$stage" -name libifdkvr7x.so)
snippet=$(find "$stage" -path '*/reader.conf.d/kvr7x')
[ -n "$handler" ] || fail "libifdkvr7x.so not installed"
[ -n "$snippet" ] || fail "no reader.conf.d/kvr7x installed"
installed=${handler#"$stage"}
case "$installed" in */pcsc/drivers/serial/libifdkvr7x.so) ;; *) fail "handler installed as $installed" ;; esac

calls=$(nm -D --defined-only "$handler" | awk '{print $NF}' | sort | tr '\n' ' ')
expected="IFDHCloseChannel IFDHControl IFDHCreateChannel IFDHCreateChannelByName IFDHGetCapabilities IFDHICCPresence IFDHPowerICC IFDHSetCapabilities IFDHSetProtocolParameters IFDHTransmitToICC "
[ "$calls" = "$expected" ] || fail "the handler exports: $calls"
readelf -d "$handler" | grep -q 'Shared library: \[libKVR7x.so.2\]' || fail "the handler does not load libKVR7x.so.2"
readelf -d "$handler" | grep -q 'RUNPATH.*\[\$ORIGIN/' || fail "the handler does not look for libKVR7x beside its install folder"

# A template: every setting commented out, the handler named where it is.
if grep -Eq '^[[:space:]]*(FRIENDLYNAME|DEVICENAME|LIBPATH|CHANNELID)' "$snippet"; then
  fail "the reader.conf snippet configures a reader: $(cat "$snippet")"
fi
grep -Eq "^#LIBPATH[[:space:]]+$installed\$" "$snippet" || fail "the snippet does not name $installed: $(cat "$snippet")"
for key in FRIENDLYNAME DEVICENAME CHANNELID; do
  grep -q "^#$key" "$snippet" || fail "the snippet has no $key line"
done
echo "installed $installed and ${snippet#"$stage"}"
