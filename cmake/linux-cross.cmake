# Shared by the Linux cross toolchain files, which set SONVEX_CROSS_ARCH
# (the processor) and SONVEX_CROSS_QEMU (its qemu-user emulator) first.
# Debian's cross compilers (g++-<arch>-linux-gnu) build programs that are
# linked statically, so they run under qemu-user without a sysroot; CTest
# runs the target's own test programs through the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SONVEX_CROSS_ARCH})
set(CMAKE_CXX_COMPILER ${SONVEX_CROSS_ARCH}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${SONVEX_CROSS_ARCH}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${SONVEX_CROSS_QEMU})
