# cmake -DFOLDER=folder -P cmake/write_program_table.cmake: the program table
# written into the folder, with nothing configured or built (the autopkgtest
# reads it so, beside the installed programs).
include(${CMAKE_CURRENT_LIST_DIR}/ProgramTable.cmake)
macro(suite_program)
  suite_record_program(${ARGN})
endmacro()
include(${CMAKE_CURRENT_LIST_DIR}/../programs.cmake)
suite_write_program_files(${FOLDER})
