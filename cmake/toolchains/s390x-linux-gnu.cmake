# SPDX-License-Identifier: MIT
# Linux on s390x (big-endian) with Debian's cross compiler; the test programs run under
# qemu-user with the target's libraries from /usr/s390x-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(VALIDATE_QEMU qemu-s390x REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VALIDATE_QEMU} -L /usr/s390x-linux-gnu CACHE STRING "Runs the test programs")
