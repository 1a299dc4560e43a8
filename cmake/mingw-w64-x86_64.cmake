# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#
# The -posix compilers: the default win32 thread model has no std::thread or std::mutex.
# Programs and the writer link the compiler's runtime statically, so they need only DLLs that
# every Windows has.
#
# ZX_WINDOWS_DEPS names a prefix holding libraries built for Windows (TurboJPEG, GoogleTest);
# it joins the find root, and pkg-config reads only its .pc files, never the build machine's.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZX_MINGW_TRIPLE}-windres)
# Assembler for libjpeg-turbo's SIMD code.
set(CMAKE_ASM_NASM_COMPILER nasm)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# try_compile projects read this file again; they need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZX_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${ZX_MINGW_TRIPLE})
if(ZX_WINDOWS_DEPS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${ZX_WINDOWS_DEPS})
    list(APPEND CMAKE_PREFIX_PATH ${ZX_WINDOWS_DEPS})
    set(ENV{PKG_CONFIG_LIBDIR} ${ZX_WINDOWS_DEPS}/lib/pkgconfig)
else()
    set(ENV{PKG_CONFIG_LIBDIR} /usr/${ZX_MINGW_TRIPLE}/lib/pkgconfig)
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and test discovery run the test programs through Wine (scripts/test-windows.sh sets it up).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh)
