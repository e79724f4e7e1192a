# Copies the shipped catalogue beside the executable unless start-up has already moved it into program_files/.
if(EXISTS "${SRC}" AND NOT EXISTS "${DST_DIR}/program_files/bin8.dat")
  file(COPY "${SRC}" DESTINATION "${DST_DIR}")
endif()
