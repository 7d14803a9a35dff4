# The Windows build (cross-built with MinGW-w64): the driver KVR7x.dll and,
# with KVR_BUILD_TESTS, its tests that run under Wine (tests/windows/).
# The manager needs Qt for Windows, which Debian does not package; the
# emulator and the PC/SC handler are POSIX programs.
add_subdirectory(driver)
if(KVR_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()

# The manager's window runtime on Win32 and its tests under Wine.
add_subdirectory(app/runtime/win32)
if(KVR_BUILD_TESTS)
  add_subdirectory(tests/app/runtime/win32)
endif()
