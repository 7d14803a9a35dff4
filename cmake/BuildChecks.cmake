# The checks every target of the project is built with, as one target that
# each of them links PRIVATE instead of flags set for the whole tree:
#   - strict warnings, which are errors with KVR_WERROR (CI and scripts/test
#     turn it on; builds with other compilers need not fail on a new warning);
#   - with KVR_SANITIZE, AddressSanitizer and UndefinedBehaviorSanitizer when
#     compiling and linking; with KVR_TSAN, ThreadSanitizer (the two cannot
#     share a build).
add_library(kvr_build_checks INTERFACE)
add_library(kvr::build_checks ALIAS kvr_build_checks)

target_compile_options(kvr_build_checks INTERFACE -Wall -Wextra $<$<BOOL:${KVR_WERROR}>:-Werror>)
if(KVR_SANITIZE)
  target_compile_options(kvr_build_checks INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kvr_build_checks INTERFACE -fsanitize=address,undefined)
endif()
if(KVR_TSAN)
  if(KVR_SANITIZE)
    message(FATAL_ERROR "KVR_TSAN and KVR_SANITIZE cannot be on in one build")
  endif()
  target_compile_options(kvr_build_checks INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kvr_build_checks INTERFACE -fsanitize=thread)
endif()

# KVR_EXTRA_WARNINGS: warnings beyond -Wall -Wextra that the code is kept
# free of (errors with KVR_WERROR): a name hiding another (-Wshadow) and a
# switch on an enumeration that leaves a value out even where it has a
# default (-Wswitch-enum).  The driver, whose byte and length arithmetic
# crosses the C API's widths, also takes -Wconversion (kvr::conversion_checks,
# linked by its targets only).  scripts/test-clang builds with it.
option(KVR_EXTRA_WARNINGS "Also warn on shadowing, switches leaving enumerators out, and (driver) narrowing conversions" OFF)
add_library(kvr_conversion_checks INTERFACE)
add_library(kvr::conversion_checks ALIAS kvr_conversion_checks)
if(KVR_EXTRA_WARNINGS)
  target_compile_options(kvr_build_checks INTERFACE -Wshadow -Wswitch-enum)
  target_compile_options(kvr_conversion_checks INTERFACE -Wconversion)
endif()
