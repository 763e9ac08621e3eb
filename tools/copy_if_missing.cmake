# Copies SRC to DST unless DST exists (the user's settings are never overwritten).
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
