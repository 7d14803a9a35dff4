# The Windows libraries scripts/windows-deps builds from Debian's sources,
# as imported targets of a MinGW-w64 cross build:
#   kvr::sqlite3_win  SQLite, a static library (sqlite3.h)
#   kvr::libpq_win    libpq.dll through its import library (libpq-fe.h);
#                     KVR_LIBPQ_WIN_DLL names the DLL to ship beside programs
# KVR_WINDOWS_DEPS is the cache folder (default: $ENV{KVR_WINDOWS_DEPS},
# else build-windows/deps in the source tree); the architecture's folder
# in it is chosen by the toolchain's triplet (KVR_MINGW_TRIPLET).
if(TARGET kvr::sqlite3_win)
  return()
endif()

if(NOT KVR_MINGW_TRIPLET)
  message(FATAL_ERROR "WindowsDeps: use a MinGW-w64 toolchain file (cmake/mingw-w64-*.cmake)")
endif()
if(DEFINED ENV{KVR_WINDOWS_DEPS} AND NOT "$ENV{KVR_WINDOWS_DEPS}" STREQUAL "")
  set(_kvr_deps_default "$ENV{KVR_WINDOWS_DEPS}")
else()
  set(_kvr_deps_default "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps")
endif()
set(KVR_WINDOWS_DEPS "${_kvr_deps_default}" CACHE PATH
  "Folder of the Windows libraries built by scripts/windows-deps")
get_filename_component(_kvr_deps "${KVR_WINDOWS_DEPS}/${KVR_MINGW_TRIPLET}" ABSOLUTE)

foreach(_kvr_file sqlite3/stamp sqlite3/lib/libsqlite3.a libpq/stamp libpq/lib/libpq.dll.a
    libpq/bin/libpq.dll)
  if(NOT EXISTS "${_kvr_deps}/${_kvr_file}")
    message(FATAL_ERROR "WindowsDeps: ${_kvr_deps}/${_kvr_file} is missing: "
      "run scripts/windows-deps ${KVR_WINDOWS_DEPS}")
  endif()
endforeach()

add_library(kvr::sqlite3_win STATIC IMPORTED)
set_target_properties(kvr::sqlite3_win PROPERTIES
  IMPORTED_LOCATION "${_kvr_deps}/sqlite3/lib/libsqlite3.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_kvr_deps}/sqlite3/include")

add_library(kvr::libpq_win SHARED IMPORTED)
set_target_properties(kvr::libpq_win PROPERTIES
  IMPORTED_LOCATION "${_kvr_deps}/libpq/bin/libpq.dll"
  IMPORTED_IMPLIB "${_kvr_deps}/libpq/lib/libpq.dll.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_kvr_deps}/libpq/include")
set(KVR_LIBPQ_WIN_DLL "${_kvr_deps}/libpq/bin/libpq.dll")

file(STRINGS "${_kvr_deps}/sqlite3/stamp" _kvr_sqlite_stamp LIMIT_COUNT 1)
file(STRINGS "${_kvr_deps}/libpq/stamp" _kvr_libpq_stamp LIMIT_COUNT 1)
message(STATUS "Windows libraries: ${_kvr_sqlite_stamp}, ${_kvr_libpq_stamp} (${_kvr_deps})")
