# KVR7x.dll, cross-built with MinGW-w64 from the same sources as
# libKVR7x.so: the shared layers (transaction, reader operations, open and
# notification, the RFC 2217 protocol) with Windows' own layer (src/win32/:
# COM ports, the Winsock shell, port names, the notification thread's
# window messages and message boxes) in place of the POSIX one.
#   kvr7x_core   static: everything the Windows tests link
#   KVR7x        KVR7x.dll: the 18 exports of KVR7x.def by name and ordinal,
#                __stdcall on i686, the version resource of KVR7x.rc.in,
#                the C and C++ runtimes and winpthread linked in, so that it
#                imports from Windows' own DLLs only
#   kvr7x_import libKVR7x.dll.a and KVR7x.lib, made by dlltool from the .def
set(KVR7X_SRC ${CMAKE_CURRENT_SOURCE_DIR}/src)
file(GLOB KVR7X_SOURCES CONFIGURE_DEPENDS ${KVR7X_SRC}/*.cpp ${KVR7X_SRC}/rfc2217/*.cpp)
# The POSIX layer, every *_posix.cpp: ttys, POSIX sockets and names,
# pthreads, the ELF version record (the DLL has its version resource
# instead).
list(FILTER KVR7X_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
file(GLOB KVR7X_WIN32_SOURCES CONFIGURE_DEPENDS ${KVR7X_SRC}/win32/*.cpp)
list(REMOVE_ITEM KVR7X_WIN32_SOURCES ${KVR7X_SRC}/win32/dll_main.cpp)

set(KVR7X_GENERATED_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/include)
configure_file(kvr7x_version.h.in ${KVR7X_GENERATED_INCLUDE}/kvr7x_version.h @ONLY)

add_library(kvr7x_core STATIC ${KVR7X_SOURCES} ${KVR7X_WIN32_SOURCES})
add_library(kvr::driver_core ALIAS kvr7x_core)
target_include_directories(kvr7x_core
  PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include ${KVR7X_GENERATED_INCLUDE} ${KVR7X_SRC})
# Windows 7 and later (WSAPoll, CancelIoEx); the calls are the library's
# own, not imported from a DLL of its own.
target_compile_definitions(kvr7x_core PUBLIC
  _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX KVR7X_NO_DLLIMPORT)
target_link_libraries(kvr7x_core PUBLIC ws2_32 user32 kvr::telnet kvr::common PRIVATE kvr::build_checks kvr::conversion_checks)

# The export table for this processor: as written (decorated with the stack
# bytes) for i686, without the suffixes for x86_64.
set(KVR7X_DEF_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/KVR7x.def)
set(KVR7X_DEF ${CMAKE_CURRENT_BINARY_DIR}/KVR7x.def)
file(READ ${KVR7X_DEF_SOURCE} KVR7X_DEF_TEXT)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  string(REGEX REPLACE "@[0-9]+ @" " @" KVR7X_DEF_TEXT "${KVR7X_DEF_TEXT}")
endif()
set(KVR7X_DEF_OLD "")
if(EXISTS ${KVR7X_DEF})
  file(READ ${KVR7X_DEF} KVR7X_DEF_OLD)
endif()
if(NOT KVR7X_DEF_OLD STREQUAL KVR7X_DEF_TEXT)
  file(WRITE ${KVR7X_DEF} "${KVR7X_DEF_TEXT}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KVR7X_DEF_SOURCE})

configure_file(KVR7x.rc.in ${CMAKE_CURRENT_BINARY_DIR}/KVR7x.rc @ONLY)

add_library(KVR7x SHARED ${KVR7X_SRC}/win32/dll_main.cpp ${CMAKE_CURRENT_BINARY_DIR}/KVR7x.rc
  ${KVR7X_DEF})
add_library(kvr::driver ALIAS KVR7x)
target_link_libraries(KVR7x PRIVATE kvr7x_core kvr::build_checks)
# The names without their @N (i686), and no runtime DLL beside the library.
target_link_options(KVR7x PRIVATE
  -static -static-libgcc -static-libstdc++ -Wl,--kill-at -Wl,--no-undefined
  $<$<CONFIG:Release>:-s>)
set_target_properties(KVR7x PROPERTIES
  PREFIX ""
  OUTPUT_NAME KVR7x
  IMPORT_PREFIX ""
  IMPORT_SUFFIX ".ld-import.a"
  LINK_DEPENDS ${KVR7X_DEF})

# The import library programs link with, from the .def alone.
set(KVR7X_IMPORT_DIR ${CMAKE_CURRENT_BINARY_DIR}/import)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KVR7X_DLLTOOL_FLAGS)
else()
  set(KVR7X_DLLTOOL_FLAGS --kill-at)
endif()
add_custom_command(
  OUTPUT ${KVR7X_IMPORT_DIR}/libKVR7x.dll.a ${KVR7X_IMPORT_DIR}/KVR7x.lib
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KVR7X_IMPORT_DIR}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${KVR7X_DEF} --dllname KVR7x.dll ${KVR7X_DLLTOOL_FLAGS}
          --output-lib ${KVR7X_IMPORT_DIR}/libKVR7x.dll.a
  COMMAND ${CMAKE_COMMAND} -E copy ${KVR7X_IMPORT_DIR}/libKVR7x.dll.a ${KVR7X_IMPORT_DIR}/KVR7x.lib
  DEPENDS ${KVR7X_DEF}
  COMMENT "Import library of KVR7x.dll"
  VERBATIM)
add_custom_target(kvr7x_import ALL DEPENDS ${KVR7X_IMPORT_DIR}/libKVR7x.dll.a)
set(KVR7X_IMPORT_LIBRARY ${KVR7X_IMPORT_DIR}/libKVR7x.dll.a PARENT_SCOPE)
set(KVR7X_IMPORT_DIR ${KVR7X_IMPORT_DIR} PARENT_SCOPE)
