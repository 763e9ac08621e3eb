# Refuses an include that climbs out of its folder ("../shell/layout.h",
# "panel/../shell/layout.h") or names an absolute path: it would reach past
# the layers that each library's include folders draw. Run by the build
# before anything is compiled:
#   cmake -DROOT=<folder> [-DSTAMP=<file>] -P check_includes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "check_includes: ROOT names the folder to check")
endif()
file(GLOB_RECURSE sources "${ROOT}/*.h" "${ROOT}/*.cpp")
set(refused "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"]")
      set(name "${CMAKE_MATCH_1}")
      if(name MATCHES "(^|[/\\\\])\\.\\.([/\\\\]|$)" OR name MATCHES "^[/\\\\]" OR name MATCHES "^[A-Za-z]:")
        file(RELATIVE_PATH where "${ROOT}" "${source}")
        string(APPEND refused "  ${where}: #include \"${name}\"\n")
      endif()
    endif()
  endforeach()
endforeach()
if(refused)
  message(FATAL_ERROR "An include climbs out of its folder; name headers from their layer "
                      "(\"link/device.h\") instead:\n${refused}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
