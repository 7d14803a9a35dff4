# 32-bit Windows (i686), the library's original ABI.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KVR_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
