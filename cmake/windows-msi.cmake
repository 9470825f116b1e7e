# The Windows installer: `cmake --build --preset mingw --target msi` makes
# vandry-display-test-<version>-win64.msi in the build folder with wixl (Debian's wixl and
# msitools), from cmake/display-test.wxs.in and what the install step puts in place for
# the zip, stripped as there. A per-machine install into Program Files\Vandry\Customer
# Display Test, with Start-menu entries for the panel and the virtual display and an Apps &
# Features entry.
find_program(DISPLAYTEST_WIXL wixl REQUIRED)
find_program(DISPLAYTEST_WIXL_HEAT wixl-heat REQUIRED)

set(DISPLAYTEST_MSI ${CMAKE_BINARY_DIR}/vandry-display-test-${PROJECT_VERSION}-win64.msi)
set(msi_work ${CMAKE_BINARY_DIR}/msi)
# The first version that this one does not replace (see the template).
math(EXPR next_patch "${PROJECT_VERSION_PATCH} + 1")
set(DISPLAYTEST_MSI_NEXT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${next_patch})
configure_file(${CMAKE_CURRENT_LIST_DIR}/display-test.wxs.in ${msi_work}/display-test.wxs @ONLY)

# Every program the install step puts in place: it must be built before the install runs.
set(msi_programs display-test display-send display-sim)
add_custom_command(OUTPUT ${DISPLAYTEST_MSI}
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK=${msi_work} -DOUTPUT=${DISPLAYTEST_MSI}
          -DICON=${PROJECT_SOURCE_DIR}/resources/icons/app.ico
          -DWIXL=${DISPLAYTEST_WIXL} -DWIXL_HEAT=${DISPLAYTEST_WIXL_HEAT}
          -P ${CMAKE_CURRENT_LIST_DIR}/make-msi.cmake
  DEPENDS ${msi_programs} source_archive ${DISPLAYTEST_SOURCE_ARCHIVE}
          ${msi_work}/display-test.wxs ${CMAKE_CURRENT_LIST_DIR}/make-msi.cmake
          ${PROJECT_SOURCE_DIR}/resources/icons/app.ico ${PROJECT_SOURCE_DIR}/README.md
          ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/copyright ${DISPLAYTEST_CLI11_COPYRIGHT}
  COMMENT "Building the installer ${DISPLAYTEST_MSI}"
  VERBATIM)
add_custom_target(msi DEPENDS ${DISPLAYTEST_MSI})
