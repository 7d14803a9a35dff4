# The Windows build (cross-built with MinGW-w64): the driver KVR7x.dll and,
# with KVR_BUILD_TESTS, its tests that run under Wine (tests/windows/).
# The manager needs Qt for Windows, which Debian does not package; the
# emulator and the PC/SC handler are POSIX programs.
add_subdirectory(driver)
# The Qt-free layers above the driver, so that nothing POSIX-only creeps
# into them: what replies mean, the console session, and the keyed-file
# engine on the SQLite and libpq that scripts/windows-deps builds (64-bit
# only, with KVR_BUILD_CORE; cmake/WindowsDeps.cmake).
option(KVR_BUILD_CORE "Build the Qt-free layers (decode, session, keyed_file)" OFF)
if(KVR_BUILD_CORE)
  add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
  # The session calls the driver through KVR7x.dll, as on POSIX through
  # libKVR7x.so.
  target_include_directories(KVR7x INTERFACE
    ${PROJECT_SOURCE_DIR}/driver/include ${PROJECT_BINARY_DIR}/driver/include)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsDeps.cmake)
  add_subdirectory(decode)
  add_subdirectory(session)
  add_subdirectory(keyed_file)
endif()
if(KVR_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()

# The manager's window runtime on Win32 and its tests under Wine.
add_subdirectory(app/runtime/win32)
if(KVR_BUILD_TESTS)
  add_subdirectory(tests/app/runtime/win32)
endif()
