# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch folder> -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

# The panel, the command-line sender and the virtual display, the desktop entry and icons.
set(expected bin/display-test bin/display-send bin/display-sim
    share/applications/vandry-display-test.desktop)
foreach(size 16 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vandry-display-test.png)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The desktop entry starts the installed program and shows the installed icon.
file(STRINGS "${PREFIX}/share/applications/vandry-display-test.desktop" entry)
foreach(line "Exec=display-test" "Icon=vandry-display-test" "Type=Application")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
