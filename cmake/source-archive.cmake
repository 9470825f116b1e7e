# The project's source as a zip, made from the tree as it is when the programs are built,
# for the Windows packages: Qt is linked into display-test.exe, and its licence (LGPL 3)
# lets a user rebuild the program against a changed Qt, which takes this source.
# cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DOUTPUT=....zip -DTOP=folder [-DGIT=git] -P source-archive.cmake
#
# In a git checkout: the files git knows or would add (nothing it ignores, such as build/),
# as they are on disk, uncommitted changes included. Elsewhere: every file of the source
# folder but the build folders. The zip is replaced only when its content changed, so that
# the packages built from it are not made again for nothing.
cmake_minimum_required(VERSION 3.25)

set(files)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0 AND top STREQUAL SOURCE_DIR)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} -c core.quotepath=off
                            ls-files --cached --others --exclude-standard
                    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "git ls-files failed in ${SOURCE_DIR}")
    endif()
    string(REPLACE "\n" ";" listing "${listing}")
    foreach(file IN LISTS listing)
      # A file deleted but not yet committed is still listed.
      if(NOT file STREQUAL "" AND EXISTS ${SOURCE_DIR}/${file} AND NOT IS_DIRECTORY ${SOURCE_DIR}/${file})
        list(APPEND files ${file})
      endif()
    endforeach()
  endif()
endif()
if(NOT files)
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
  file(RELATIVE_PATH binary ${SOURCE_DIR} ${BINARY_DIR})
  list(FILTER files EXCLUDE REGEX "^(build/|build-[^/]*/|\\.git/|\\.git$)")
  if(NOT binary MATCHES "^\\.\\./")
    list(FILTER files EXCLUDE REGEX "^${binary}/")
  endif()
endif()
list(SORT files)

# The files under one top folder named after the release: a link to the source folder
# gives them that path, with their own dates.
set(work ${OUTPUT}.work)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(CREATE_LINK ${SOURCE_DIR} ${work}/${TOP} SYMBOLIC)
list(TRANSFORM files PREPEND "${TOP}/")
string(REPLACE ";" "\n" list_text "${files}")
file(WRITE ${work}/files.txt "${list_text}\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${work}/source.zip --format=zip --files-from=files.txt
                WORKING_DIRECTORY ${work} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not make ${OUTPUT}")
endif()
file(COPY_FILE ${work}/source.zip ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE_RECURSE ${work})
