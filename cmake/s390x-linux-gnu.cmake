# IBM Z Linux, big-endian (package g++-s390x-linux-gnu), run under qemu-s390x.
set(SONVEX_CROSS_ARCH s390x)
set(SONVEX_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
