# Shared part of the MinGW-w64 toolchain files: Debian's cross compilers
# with the posix thread model (std::thread), looked up by the target
# triplet KVR_MINGW_TRIPLET that the including file sets.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KVR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KVR_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${KVR_MINGW_TRIPLET}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${KVR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
