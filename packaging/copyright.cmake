# The packages' copyright file in Debian's machine-readable format, made from
# the project's LICENSE (the MIT licence, which Debian calls Expat).
#
#   kvr_debian_copyright(LICENSE OUTPUT)
function(kvr_debian_copyright input output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
  file(STRINGS ${input} lines)
  set(holder "")
  set(body "")
  set(in_body FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^Copyright \\(c\\) (.*)$")
      set(holder "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Permission ")
      set(in_body TRUE)
    endif()
    if(in_body)
      if(line STREQUAL "")
        string(APPEND body " .\n")
      else()
        string(APPEND body " ${line}\n")
      endif()
    endif()
  endforeach()
  if(NOT holder OR NOT body)
    message(FATAL_ERROR "${input}: no \"Copyright (c)\" line or no licence text")
  endif()
  file(WRITE ${output} "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: KVR7x
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${holder}
License: Expat

License: Expat
${body}")
endfunction()
