# The Windows zip (cpack -G ZIP in the cross-build) and the installer (the msi target,
# cmake/windows-msi.cmake) hold the same files: the three programs at the top, the README,
# the project's licence, and in licenses/ the licence texts of everything linked into
# them. Qt is LGPL and linked statically: its texts go with it, where its source comes
# from, and the project's own source, to rebuild the program against another Qt.
set(DISPLAYTEST_QT_SOURCE_NOTE [[
Unlike the Linux programs, the Windows programs here link their libraries statically.
display-test.exe and display-sim.exe hold Qt 6.4.2 (Core, Gui, Widgets and the Windows
platform plugin), under the GNU Lesser General Public License version 3 (LGPL-3.0-only.txt here),
with Qt's bundled zlib, libpng, FreeType, HarfBuzz and PCRE2, whose licences are among the
texts here and in debian-copyright.

Qt was built from Debian 12's source package qt6-base 6.4.2+dfsg (with Debian's patches,
otherwise unchanged): `apt-get source qt6-base` on Debian 12 fetches that source.

To use display-test.exe or display-sim.exe with another or a changed Qt, rebuild them
from their source, which
is in the folder above as @DISPLAYTEST_SOURCE_ARCHIVE_NAME@: its README.md, under
"Rebuilding against another Qt", says how.
]])

# The project's source at build time (cmake/source-archive.cmake), made again at every
# build and replaced when it changed.
set(DISPLAYTEST_SOURCE_ARCHIVE_NAME vandry-display-test-${PROJECT_VERSION}-source.zip)
set(DISPLAYTEST_SOURCE_ARCHIVE ${CMAKE_BINARY_DIR}/${DISPLAYTEST_SOURCE_ARCHIVE_NAME})
find_program(DISPLAYTEST_GIT git)
add_custom_target(source_archive ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBINARY_DIR=${CMAKE_BINARY_DIR}
          -DOUTPUT=${DISPLAYTEST_SOURCE_ARCHIVE} -DTOP=vandry-display-test-${PROJECT_VERSION}
          -DGIT=${DISPLAYTEST_GIT} -P ${PROJECT_SOURCE_DIR}/cmake/source-archive.cmake
  BYPRODUCTS ${DISPLAYTEST_SOURCE_ARCHIVE}
  COMMENT "Archiving the source as ${DISPLAYTEST_SOURCE_ARCHIVE_NAME}"
  VERBATIM)

string(CONFIGURE "${DISPLAYTEST_QT_SOURCE_NOTE}" DISPLAYTEST_QT_SOURCE_NOTE @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/Qt-SOURCE.txt "${DISPLAYTEST_QT_SOURCE_NOTE}")

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${DISPLAYTEST_SOURCE_ARCHIVE} DESTINATION licenses)
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION licenses RENAME vandry-display-test.txt)
if(DISPLAYTEST_BUILD_GUI)
  install(DIRECTORY ${DISPLAYTEST_QT_MINGW}/licenses/ DESTINATION licenses/Qt)
  install(FILES ${CMAKE_BINARY_DIR}/Qt-SOURCE.txt DESTINATION licenses/Qt RENAME SOURCE.txt)
endif()
# CLI11, which reads the command line of every program (BSD 3-clause).
install(FILES ${DISPLAYTEST_CLI11_COPYRIGHT} DESTINATION licenses RENAME CLI11.txt)
# The C++ runtime and the threads library of mingw-w64, linked into every program.
install(FILES /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright
        DESTINATION licenses RENAME gcc-runtime.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright
        DESTINATION licenses RENAME mingw-w64-runtime.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGING_INSTALL_PREFIX "")
set(CPACK_PACKAGE_FILE_NAME "vandry-display-test-${PROJECT_VERSION}-win64")
set(CPACK_STRIP_FILES ON)

if(DISPLAYTEST_BUILD_GUI)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-msi.cmake)
endif()
