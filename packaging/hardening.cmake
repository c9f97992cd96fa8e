# Debian's hardening flags (fortify, stack protector, relro, bind-now), as its own package
# builds take them from dpkg-buildflags, for every optimised build that may be packaged. The
# sanitizer and fuzz builds keep their own instrumentation; without optimisation there is
# nothing to fortify (glibc warns, and warnings are errors here).
option(BRINDLE_DEB_HARDENING "Build with the flags of dpkg-buildflags where it is installed" ON)
find_program(BRINDLE_DPKG_BUILDFLAGS dpkg-buildflags)
if(BRINDLE_DEB_HARDENING AND BRINDLE_DPKG_BUILDFLAGS AND NOT BRINDLE_SANITIZE AND NOT BRINDLE_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # From the project's top, so the file-prefix map shortens its paths, not another's.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${BRINDLE_DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL LDFLAGS)
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
  endforeach()
  message(STATUS "Hardening flags from dpkg-buildflags")
endif()
