# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch folder> -DREADELF=<readelf> -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --strip
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install --strip failed:\n${output}")
endif()

# The panel, the command-line sender and the virtual display, their desktop entries,
# icons and manual pages, the copyright file and the changelog.
set(programs bin/display-test bin/display-send bin/display-sim)
set(expected ${programs}
    share/applications/vandry-display-test.desktop
    share/applications/vandry-display-sim.desktop
    share/icons/hicolor/scalable/apps/vandry-display-sim.svg
    share/man/man1/display-test.1.gz share/man/man1/display-send.1.gz share/man/man1/display-sim.1.gz
    share/doc/vandry-display-test/copyright share/doc/vandry-display-test/changelog.gz)
foreach(size 16 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vandry-display-test.png)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# --strip leaves no symbol table and no debugging information in the programs.
foreach(program IN LISTS programs)
  execute_process(COMMAND "${READELF}" -S -W "${PREFIX}/${program}" OUTPUT_VARIABLE sections RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT sections MATCHES "\\.text")
    message(FATAL_ERROR "readelf could not read ${program}")
  endif()
  if(sections MATCHES "\\.symtab|\\.debug_")
    message(FATAL_ERROR "${program} is not stripped:\n${sections}")
  endif()
endforeach()

# Each desktop entry starts the installed program and shows the installed icon; the
# panel's reads in Chinese on a Chinese desktop, as the panel starts in Chinese.
set(entries
  "vandry-display-test.desktop|Exec=display-test|Icon=vandry-display-test|Type=Application|Name[zh_CN]=Vandry 客户显示屏测试|Comment[zh_CN]=通过串口驱动客户显示屏, 进行测试和演示"
  "vandry-display-sim.desktop|Exec=display-sim|Icon=vandry-display-sim|Type=Application|Name[zh_CN]=Vandry 虚拟客户显示屏")
foreach(row IN LISTS entries)
  string(REPLACE "|" ";" lines "${row}")
  list(POP_FRONT lines name)
  file(STRINGS "${PREFIX}/share/applications/${name}" entry ENCODING UTF-8)
  foreach(line IN LISTS lines)
    list(FIND entry "${line}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${name} lacks ${line}")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
