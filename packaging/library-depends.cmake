# SPDX-License-Identifier: MIT
# Read by cpack in a native Debian build (CPackProjectConfig.cmake includes
# it, giving VALIDATE_LIBRARY_FILE and VALIDATE_SHLIBDEPS_DIR): the library
# package's Depends, from dpkg-shlibdeps on the built library. CPack would
# run dpkg-shlibdeps itself, but then it also gives the package maintainer
# scripts that call ldconfig, which Debian has replaced by the trigger the
# package carries.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT DEFINED CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS)
  # dpkg-shlibdeps runs in a source tree: it needs a debian/control, if empty.
  file(MAKE_DIRECTORY ${VALIDATE_SHLIBDEPS_DIR}/debian)
  file(TOUCH ${VALIDATE_SHLIBDEPS_DIR}/debian/control)
  execute_process(COMMAND dpkg-shlibdeps -O ${VALIDATE_LIBRARY_FILE}
    WORKING_DIRECTORY ${VALIDATE_SHLIBDEPS_DIR}
    RESULT_VARIABLE status OUTPUT_VARIABLE depends ERROR_VARIABLE errors
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT depends MATCHES "^shlibs:Depends=(.+)$")
    message(FATAL_ERROR "dpkg-shlibdeps on ${VALIDATE_LIBRARY_FILE} failed: ${errors}")
  endif()
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endif()
