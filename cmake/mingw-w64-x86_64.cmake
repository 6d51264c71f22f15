# Cross-builds the 64-bit Windows DLL and its tests with mingw-w64 on Linux. The
# -posix compilers give std::thread; the runtime (libgcc, libstdc++, winpthread)
# and zlib are linked statically so the DLL needs system DLLs only. Programs run
# under wine when ctest starts them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the target's packages only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${VX_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The import library libz.dll.a would make the DLL depend on zlib1.dll.
set(ZLIB_INCLUDE_DIR /usr/${VX_MINGW_TRIPLE}/include CACHE PATH "")
set(ZLIB_LIBRARY /usr/${VX_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "")

# Every program and module gets the runtime statically; -static also makes the
# linker pick libwinpthread.a over its DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(VX_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(VX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
