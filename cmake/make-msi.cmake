# Builds the installer at build time (cmake/windows-msi.cmake).
# cmake -DBUILD_DIR=... -DWORK=... -DOUTPUT=....msi -DICON=....ico -DWIXL=... -DWIXL_HEAT=...
#       -P make-msi.cmake
# WORK holds display-test.wxs; the files to install are put in WORK/stage.
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}")
  endif()
endfunction()

set(stage ${WORK}/stage)
file(REMOVE_RECURSE ${stage})
run("the install into ${stage}" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip)

# Every file but the programs at the top, which display-test.wxs lists with their
# shortcuts. wixl takes paths relative to where it runs only.
file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(FILTER files EXCLUDE REGEX "^[^/]*\\.exe$")
list(SORT files)
list(TRANSFORM files PREPEND "stage/")
string(REPLACE ";" "\n" listing "${files}")
file(WRITE ${WORK}/files.txt "${listing}\n")
execute_process(COMMAND ${WIXL_HEAT} --prefix stage/ --directory-ref INSTALLDIR --component-group Files --var var.Stage --win64
                INPUT_FILE ${WORK}/files.txt OUTPUT_FILE ${WORK}/files.wxs RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl-heat failed")
endif()
file(COPY_FILE ${ICON} ${WORK}/app.ico)

run("wixl" ${WIXL} -a x64 -D Stage=stage -D Win64=yes -o ${OUTPUT}.part display-test.wxs files.wxs)
file(RENAME ${OUTPUT}.part ${OUTPUT})
