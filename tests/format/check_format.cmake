# Fails when a C++ file of the project is not as clang-format, with the project's
# .clang-format, would write it; names each such file and the first lines it would change.
# cmake -DSOURCE_DIR=... -DCLANG_FORMAT=... -P check_format.cmake
cmake_minimum_required(VERSION 3.25)

set(folders app cli common panel protocol resources serial sim tests tools)
set(files)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
  list(APPEND files ${found})
endforeach()
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no C++ file found below ${SOURCE_DIR}")
endif()

set(unformatted)
foreach(file IN LISTS files)
  execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run --Werror ${file}
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  RESULT_VARIABLE status ERROR_VARIABLE report OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    list(APPEND unformatted ${file})
    string(SUBSTRING "${report}" 0 600 report)
    message("${report}")
  endif()
endforeach()

if(unformatted)
  list(LENGTH unformatted bad)
  string(REPLACE ";" "\n  " listing "${unformatted}")
  message(FATAL_ERROR "${bad} of ${count} files are not formatted; run clang-format -i on:\n  ${listing}")
endif()
message(STATUS "${count} files formatted")
