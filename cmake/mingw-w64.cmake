# Cross-build for 64-bit Windows with mingw-w64 (Debian's mingw-w64 package). The programs
# and tests run here under Wine: CTest starts them through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DISPLAYTEST_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix flavour of the compiler: the -win32 one has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${DISPLAYTEST_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DISPLAYTEST_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DISPLAYTEST_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DISPLAYTEST_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: each .exe runs on its own, on any Windows and under Wine, without the
# compiler's DLLs (libstdc++, libgcc, winpthread) beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Qt programs build against a static Qt for Windows (scripts/build-qt-mingw.sh prints
# its folder): its toolchain file adds where its packages and the host's moc, rcc and uic
# are found, and chains the same compilers as above.
if(DISPLAYTEST_QT_MINGW)
  include("${DISPLAYTEST_QT_MINGW}/lib/cmake/Qt6/qt.toolchain.cmake")
endif()

# Every Windows program that the build or CTest starts runs under Wine, in a prefix of
# the build's own (never ~/.wine), which the script prepares on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
