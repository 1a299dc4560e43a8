# Cross-compiling for 64-bit ARM Linux (Raspberry Pi OS, Debian arm64) with Debian's cross compiler
# (crossbuild-essential-arm64) against the arm64 development packages installed beside the build
# machine's own (dpkg --add-architecture arm64; scripts/setup-arm64.sh installs them).
#
# Multiarch keeps each architecture's libraries in their own folder, so no sysroot is needed: the
# compiler's library architecture (aarch64-linux-gnu) leads CMake to /usr/lib/aarch64-linux-gnu.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZX_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ZX_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZX_CROSS_TRIPLE}-g++)

# pkg-config reads the arm64 .pc files and the architecture-independent ones, never the build
# machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ZX_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Qt's code generators (moc, rcc) run on the build machine: Qt takes them from its host installation.
set(QT_HOST_PATH /usr)

# ctest and test discovery run the test programs under qemu (binfmt_misc would too, but this way a
# missing registration fails with a clear message rather than "Exec format error").
find_program(ZX_QEMU_AARCH64 qemu-aarch64-static)
if(ZX_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZX_QEMU_AARCH64})
endif()

# GNUInstallDirs picks Debian's multiarch library folder only for native builds; a cross build would
# install the writer to lib/ instead of lib/aarch64-linux-gnu/, unlike the native arm64 package.
set(CMAKE_INSTALL_LIBDIR lib/${ZX_CROSS_TRIPLE} CACHE PATH "Object code libraries (lib)")
