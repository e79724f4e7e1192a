# Copies a shipped data file (or folder) beside the executable unless start-up has already moved it into program_files/.
if(EXISTS "${SRC}" AND NOT EXISTS "${DST_DIR}/program_files/${TARGET_NAME}")
  file(COPY "${SRC}" DESTINATION "${DST_DIR}")
endif()
