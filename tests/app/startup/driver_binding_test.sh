#!/bin/sh
# The manager binds the shared driver library when it is loaded and uses
# exactly four of its calls: QXOPEN, QXCLOSE, QXRESET and QXSENDCOMMAND.
# Usage: driver_binding_test.sh PATH-TO-kvrman1
set -eu
program=$1
needed=$(readelf -d "$program" | sed -n 's/.*Shared library: \[\(libKVR7x[^]]*\)\].*/\1/p')
if [ "$needed" != "libKVR7x.so.2" ]; then
  echo "kvrman1 does not load libKVR7x.so.2 (found: '$needed')" >&2
  exit 1
fi
calls=$(nm -D --undefined-only "$program" | awk '{print $NF}' | grep '^QX' | sort | tr '\n' ' ')
if [ "$calls" != "QXCLOSE QXOPEN QXRESET QXSENDCOMMAND " ]; then
  echo "kvrman1 uses these driver calls: $calls" >&2
  exit 1
fi
defined=$(nm --defined-only "$program" 2>/dev/null | awk '{print $NF}' | grep -c '^QX' || true)
if [ "$defined" != "0" ]; then
  echo "kvrman1 carries its own copy of the driver" >&2
  exit 1
fi
echo "kvrman1 binds libKVR7x.so.2 for: $calls"
