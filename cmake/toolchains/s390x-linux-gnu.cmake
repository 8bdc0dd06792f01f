# SPDX-License-Identifier: MIT
# s390x is big-endian.
set(VALIDATE_CROSS_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
