# SPDX-License-Identifier: MIT
# WebAssembly: Emscripten's own toolchain file, wherever Emscripten is
# installed (Debian's emscripten package keeps it in /usr/share/emscripten).
find_program(VALIDATE_EM_CONFIG em-config REQUIRED)
execute_process(COMMAND ${VALIDATE_EM_CONFIG} EMSCRIPTEN_ROOT
  OUTPUT_VARIABLE validate_emscripten_root OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
include(${validate_emscripten_root}/cmake/Modules/Platform/Emscripten.cmake)

# Debian's emscripten links with Debian's acorn, which Node.js finds only
# through NODE_PATH: set here for the links while configuring, and on each
# link of the build, whoever starts it.
if(EXISTS /usr/share/nodejs/acorn)
  set(ENV{NODE_PATH} /usr/share/nodejs)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endif()
