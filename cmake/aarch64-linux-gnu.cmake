# 64-bit Arm Linux (package g++-aarch64-linux-gnu), run under qemu-aarch64.
set(SONVEX_CROSS_ARCH aarch64)
set(SONVEX_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
