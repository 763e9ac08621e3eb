# Debian's build flags and output that does not depend on where or when it
# was built. Included from the top level before any target is defined, so
# that the panel, the client, the simulator and the tests are all built (and
# tested) as the package ships them.
#
# Debian's flags come from dpkg-buildflags with every hardening feature on:
# _FORTIFY_SOURCE=2, -fstack-protector-strong, format checks, full RELRO and
# immediate binding (-z relro -z now). DEB_BUILD_MAINT_OPTIONS, when set,
# replaces "hardening=+all"; -DQUADREL_DEBIAN_FLAGS=OFF leaves them out. The
# sanitizer build does without them (fortified functions hide bugs from
# AddressSanitizer, and it builds without optimisation).
option(QUADREL_DEBIAN_FLAGS "Build with Debian's hardening flags (dpkg-buildflags)" ON)

if(QUADREL_DEBIAN_FLAGS AND NOT QUADREL_SANITIZE)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    if(DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
      set(maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
    else()
      set(maint_options "hardening=+all")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      # Run from the source folder: its path is mapped to "." in the output.
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=${maint_options} ${DPKG_BUILDFLAGS} --get ${kind}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
      endif()
      separate_arguments(QUADREL_DEB_${kind} UNIX_COMMAND "${flags}")
    endforeach()
    add_compile_options(${QUADREL_DEB_CPPFLAGS} ${QUADREL_DEB_CXXFLAGS})
    add_link_options(${QUADREL_DEB_LDFLAGS})
    message(STATUS "Debian build flags: ${QUADREL_DEB_CPPFLAGS} ${QUADREL_DEB_CXXFLAGS} ${QUADREL_DEB_LDFLAGS}")
  else()
    message(STATUS "dpkg-buildflags not found: built without Debian's hardening flags")
  endif()
endif()

# Reproducible output: no build folder in the binaries (debug information,
# __FILE__), whichever folders the sources and the build are in; the build
# folder is named last, so it wins when it lies inside the source folder. No
# date or time macros.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.
                    -Werror=date-time)
# Nor the compiler's switches in the debug information: the compiler cache
# hands them to the compiler in another order than CMake wrote them (the
# precompiled header's -fpch-preprocess), and the build-id, made from the
# whole program, would then differ with the cache and without it.
add_compile_options(-gno-record-gcc-switches)
# Resources without the files' modification times (format 1 has none): the
# icons are rendered at build time.
set(CMAKE_AUTORCC_OPTIONS --format-version 1)
