# Optimised builds for this machine carry the distribution's hardening: a
# stack protector, fortified libc calls, relocations made read-only and
# bound at start. The flags come from dpkg-buildflags, so the package gets
# what the distribution's own packages get; optimisation and debug flags
# stay the build type's.
option(CARILLON_HARDEN "Build optimised programs with the distribution's hardening flags" ON)
find_program(CARILLON_DPKG_BUILDFLAGS dpkg-buildflags)
if(CARILLON_HARDEN AND CARILLON_DPKG_BUILDFLAGS AND NOT CARILLON_SANITIZE AND NOT CMAKE_CROSSCOMPILING
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${CARILLON_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^(-g|-O[0-9s]?|-ffile-prefix-map=.*)$")
    if(kind STREQUAL "LDFLAGS")
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
  endforeach()
endif()
