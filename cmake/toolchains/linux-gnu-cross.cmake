# SPDX-License-Identifier: MIT
# Linux on VALIDATE_CROSS_PROCESSOR with Debian's cross compiler; the test
# programs run under qemu-user with the target's libraries from
# /usr/VALIDATE_CROSS_PROCESSOR-linux-gnu. Included by a toolchain file per
# processor, which names it.
set(triplet ${VALIDATE_CROSS_PROCESSOR}-linux-gnu)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${VALIDATE_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(VALIDATE_QEMU qemu-${VALIDATE_CROSS_PROCESSOR} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VALIDATE_QEMU} -L /usr/${triplet} CACHE STRING "Runs the test programs")
