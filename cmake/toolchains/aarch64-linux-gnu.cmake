# SPDX-License-Identifier: MIT
set(VALIDATE_CROSS_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
