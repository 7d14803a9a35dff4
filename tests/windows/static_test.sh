#!/bin/sh
# Builds both DLLs (scripts/build-windows, incremental) and checks each with
# check_dll.py.  Exit 77, which CTest counts as skipped, when the cross
# compilers, their objdump or python3-pefile are missing.
# Usage: static_test.sh SOURCE_DIR OUT_DIR
set -eu
src=$1
out=$2
python=/usr/bin/python3
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
"$python" -c "import pefile" 2>/dev/null || { echo "skipped: python3-pefile is not installed"; exit 77; }

"$src/scripts/build-windows" "$out"
status=0
"$python" "$src/tests/windows/check_dll.py" "$out/win32/driver/KVR7x.dll" i686 \
  i686-w64-mingw32-objdump || status=1
"$python" "$src/tests/windows/check_dll.py" "$out/win64/driver/KVR7x.dll" x86_64 || status=1
exit $status
