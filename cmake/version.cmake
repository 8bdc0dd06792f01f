# SPDX-License-Identifier: MIT
# The version of validate, datasig and the library, in one place: project()
# takes it from here, and scripts ask for it with
#   cmake -P cmake/version.cmake
set(VALIDATE_VERSION 1.2.0)
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${VALIDATE_VERSION}")
endif()
