#!/bin/sh
# Builds both DLLs (scripts/build-windows, incremental) and checks each with
# check_dll.py.  Exit 77, which CTest counts as skipped, when the cross
# compilers, their objdump or python3-pefile are missing.
# Usage: static_test.sh SOURCE_DIR OUT_DIR [--built]
#   --built  the DLLs in OUT_DIR are built already (scripts/test-windows)
set -eu
src=$1
out=$2
built=${3:-}
python=/usr/bin/python3
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-objdump \
  x86_64-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
"$python" -c "import pefile" 2>/dev/null || { echo "skipped: python3-pefile is not installed"; exit 77; }

[ "$built" = "--built" ] || "$src/scripts/build-windows" "$out"
status=0
for pair in i686:win32 x86_64:win64; do
  arch=${pair%%:*}
  drv="$out/${pair#*:}/driver"
  # A C program built against kvr7x.h and the import library.
  "$arch-w64-mingw32-gcc-posix" -Wall -Wextra -Werror -I"$src/driver/include" -I"$drv/include" \
    -o "$drv/import_check.exe" "$src/tests/windows/import_check.c" "$drv/import/libKVR7x.dll.a" ||
    status=1
  "$python" "$src/tests/windows/check_dll.py" "$drv/KVR7x.dll" "$arch" \
    --objdump "$arch-w64-mingw32-objdump" --program "$drv/import_check.exe" || status=1
done
exit $status
