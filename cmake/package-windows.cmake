# The Windows zip (cpack -G ZIP in the cross-build): the two programs at the top, the
# README, and the licence texts of everything linked into them. Qt is LGPL: its texts go
# with it, and where its source comes from.
set(DISPLAYTEST_QT_SOURCE_NOTE [[
Unlike the Linux programs, the Windows programs of this zip link their libraries
statically. display-test.exe holds Qt 6.4.2 (Core, Gui, Widgets and the Windows platform
plugin), under the GNU Lesser General Public License version 3 (LGPL-3.0-only.txt here),
with Qt's bundled zlib, libpng, FreeType, HarfBuzz and PCRE2, whose licences are among the
texts here and in debian-copyright.

Qt was built from Debian 12's source package qt6-base 6.4.2+dfsg (with Debian's patches,
otherwise unchanged): `apt-get source qt6-base` on Debian 12 fetches that source.
]])
file(WRITE ${CMAKE_BINARY_DIR}/Qt-SOURCE.txt "${DISPLAYTEST_QT_SOURCE_NOTE}")

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION licenses RENAME vandry-display-test.txt)
if(DISPLAYTEST_BUILD_GUI)
  install(DIRECTORY ${DISPLAYTEST_QT_MINGW}/licenses/ DESTINATION licenses/Qt)
  install(FILES ${CMAKE_BINARY_DIR}/Qt-SOURCE.txt DESTINATION licenses/Qt RENAME SOURCE.txt)
endif()
# The C++ runtime and the threads library of mingw-w64, linked into both programs.
install(FILES /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright
        DESTINATION licenses RENAME gcc-runtime.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright
        DESTINATION licenses RENAME mingw-w64-runtime.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGING_INSTALL_PREFIX "")
set(CPACK_PACKAGE_FILE_NAME "vandry-display-test-${PROJECT_VERSION}-win64")
set(CPACK_STRIP_FILES ON)
