# cpack -G ZIP on the Windows build: the zip holds the three programs, the README, the
# licence texts and the project's source, and no program needs a DLL but Windows' own.
# cmake -DBUILD_DIR=... -DOBJDUMP=... -DWORK=... -P check_windows_zip.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND cpack -G ZIP -B ${WORK} WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
set(zip ${WORK}/vandry-display-test-1.0.0.2-win64.zip)
if(NOT status EQUAL 0 OR NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack -G ZIP made no ${zip}:\n${out}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot list ${zip}")
endif()
set(top vandry-display-test-1.0.0.2-win64)
foreach(entry
    display-test.exe display-send.exe display-sim.exe README.md LICENSE.txt
    licenses/vandry-display-test-1.0.0.2-source.zip licenses/vandry-display-test.txt licenses/gcc-runtime.txt licenses/mingw-w64-runtime.txt
    licenses/CLI11.txt licenses/Qt/LGPL-3.0-only.txt licenses/Qt/SOURCE.txt licenses/Qt/debian-copyright)
  string(FIND "${listing}" "${top}/${entry}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${entry} is missing from the zip:\n${listing}")
  endif()
endforeach()
if(listing MATCHES "\\.dll")
  message(FATAL_ERROR "the zip holds a DLL:\n${listing}")
endif()

# Only DLLs that every Windows has: no Qt, no C++ runtime, no threads library.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${WORK})
foreach(program display-test.exe display-send.exe display-sim.exe)
  execute_process(COMMAND ${OBJDUMP} -p ${WORK}/${top}/${program} OUTPUT_VARIABLE headers)
  string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${headers}")
  foreach(dll IN LISTS dlls)
    string(REPLACE "DLL Name: " "" dll "${dll}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll MATCHES "^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|imm32|winmm|ws2_32|version|uxtheme|dwmapi|setupapi|shlwapi|uuid|d3d9|d3d11|d2d1|dwrite|dxgi|netapi32|userenv|mpr|authz|wtsapi32|msvcrt|shcore|api-ms-win-[a-z0-9-]+)\\.dll$")
      message(FATAL_ERROR "${program} needs ${dll}, which is not part of Windows")
    endif()
  endforeach()
  # The icon and the version record are in display-test.exe and display-sim.exe (checked
  # in detail by app_resources_win32_test); a stripped program keeps its resources.
endforeach()

# The project's own licence, and its source as it was built, to rebuild display-test.exe
# against another Qt: the build files, the recipe of the Qt linked in, and no build output.
file(READ ${WORK}/${top}/LICENSE.txt license)
if(NOT license MATCHES "^MIT License\n\nCopyright \\(c\\) 2026 ")
  message(FATAL_ERROR "LICENSE.txt is not the MIT licence:\n${license}")
endif()
# CLI11 is compiled into every program: its licence goes with them, whole.
file(READ ${WORK}/${top}/licenses/CLI11.txt cli11)
if(NOT cli11 MATCHES "Upstream-Name: CLI11\n" OR NOT cli11 MATCHES "License: BSD-3-clause\n Redistribution and use")
  message(FATAL_ERROR "licenses/CLI11.txt is not CLI11's licence:\n${cli11}")
endif()
set(source_zip ${WORK}/${top}/licenses/vandry-display-test-1.0.0.2-source.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${source_zip} OUTPUT_VARIABLE sources RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot list ${source_zip}")
endif()
foreach(entry CMakeLists.txt CMakePresets.json LICENSE README.md cmake/mingw-w64.cmake
              scripts/build-qt-mingw.sh app/main.cpp panel/display_test_dlg.cpp resources/display_test.rc)
  string(FIND "${sources}" "vandry-display-test-1.0.0.2/${entry}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${entry} is missing from the source archive:\n${sources}")
  endif()
endforeach()
if(sources MATCHES "(^|\n)vandry-display-test-1.0.0.2/build/|\\.(exe|obj|o)\n" OR NOT sources MATCHES "^vandry-display-test-1.0.0.2/")
  message(FATAL_ERROR "the source archive holds more than the source:\n${sources}")
endif()
message(STATUS "zip: ${zip}")
