# SPDX-License-Identifier: MIT
# The release's date and the documents that the packages carry beside the
# tools and the library: the changelog, the license, and for the Debian
# packages their copyright file, a lintian override, and the control files
# of the library's package (symbols, shlibs, the ldconfig trigger).
#
# A release is dated by the commit it is built from, so that two builds of one
# commit give the same bytes wherever and whenever they run. The date is
# SOURCE_DATE_EPOCH when that is set (Debian's build tools set it), else the
# time of the last commit, else, in a tree without git such as one unpacked
# from `git archive` (which gives every file the commit's time), the time of
# CMakeLists.txt. It dates the manual pages and the changelog, and cpack
# stamps every file of a package with it.

set(VALIDATE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT VALIDATE_SOURCE_DATE_EPOCH)
  find_package(Git QUIET)
  if(GIT_FOUND)
    # Only this project's own repository: a source tree unpacked inside
    # another repository must not take that one's commits.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-prefix --git-path logs/HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      RESULT_VARIABLE git_status OUTPUT_VARIABLE git_paths ERROR_QUIET)
    if(git_status EQUAL 0 AND git_paths MATCHES "^\n([^\n]+)\n$")
      set(reflog ${CMAKE_MATCH_1})
      execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE VALIDATE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      # A new commit configures again, so that the date follows it.
      get_filename_component(reflog ${reflog} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
      if(EXISTS ${reflog})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${reflog})
      endif()
    endif()
  endif()
  if(NOT VALIDATE_SOURCE_DATE_EPOCH)
    message(STATUS "No git history here: the release takes its date from CMakeLists.txt")
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt VALIDATE_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()
if(NOT VALIDATE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a count of seconds: ${VALIDATE_SOURCE_DATE_EPOCH}")
endif()
# string(TIMESTAMP) reads the time from here on.
set(ENV{SOURCE_DATE_EPOCH} ${VALIDATE_SOURCE_DATE_EPOCH})
string(TIMESTAMP VALIDATE_RELEASE_DATE "%Y-%m-%d" UTC)

# validate_debian_date(OUT DATE): DATE (YYYY-MM-DD, or the release's own
# placeholder) as a Debian changelog writes it.
function(validate_debian_date out date)
  if(date STREQUAL "@RELEASE_DATE@")
    set(epoch ${VALIDATE_SOURCE_DATE_EPOCH})
  elseif(date MATCHES "^([0-9][0-9][0-9][0-9])-0?([0-9]+)-0?([0-9]+)$")
    # Days since 1970-01-01 of a date in the Gregorian calendar.
    set(y ${CMAKE_MATCH_1})
    set(m ${CMAKE_MATCH_2})
    set(d ${CMAKE_MATCH_3})
    if(m LESS_EQUAL 2)
      math(EXPR y "${y} - 1")
      math(EXPR m "${m} + 9")
    else()
      math(EXPR m "${m} - 3")
    endif()
    math(EXPR year_of_era "${y} % 400")
    math(EXPR epoch "(${y} / 400 * 146097 + ${year_of_era} * 365 + ${year_of_era} / 4 \
- ${year_of_era} / 100 + (153 * ${m} + 2) / 5 + ${d} - 1 - 719468) * 86400")
  else()
    message(FATAL_ERROR "CHANGELOG.md: a release dated ${date}, not YYYY-MM-DD")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP formatted "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(ENV{SOURCE_DATE_EPOCH} ${VALIDATE_SOURCE_DATE_EPOCH})
  set(${out} "${formatted}" PARENT_SCOPE)
endfunction()

# validate_write_if_changed(FILE TEXT): FILE keeps its time when it already
# holds TEXT, so that what is made from it is not made again.
function(validate_write_if_changed file text)
  file(WRITE ${file}.new "${text}")
  file(COPY_FILE ${file}.new ${file} ONLY_IF_DIFFERENT)
  file(REMOVE ${file}.new)
endfunction()

# validate_debian_changelog(MARKDOWN OUT): the releases of CHANGELOG.md in
# Debian's changelog form, an entry for each, with "### Kind" headings as
# "Kind:" lines and "- " items as "* " items.
function(validate_debian_changelog markdown out)
  file(READ ${markdown} text)
  # Every line an element of a list: semicolons and brackets, which lists
  # treat specially, stand aside as control characters meanwhile.
  string(ASCII 1 semicolon)
  string(ASCII 2 open)
  string(ASCII 3 close)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "[" "${open}" text "${text}")
  string(REPLACE "]" "${close}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(debian "")
  set(trailer "")
  foreach(line IN LISTS lines)
    string(REPLACE "${semicolon}" ";" line "${line}")
    string(REPLACE "${open}" "[" line "${line}")
    string(REPLACE "${close}" "]" line "${line}")
    if(line MATCHES "^## \\[([^]]+)\\] - (.+)$")
      set(version ${CMAKE_MATCH_1})
      validate_debian_date(date "${CMAKE_MATCH_2}")
      string(APPEND debian "${trailer}${PROJECT_NAME} (${version}) unstable; urgency=medium\n")
      set(trailer "\n -- ${VALIDATE_MAINTAINER}  ${date}\n\n")
      set(blank TRUE)
    elseif(NOT trailer)
      # The introduction above the first release.
    elseif(line STREQUAL "")
      set(blank TRUE)
    else()
      if(blank)
        string(APPEND debian "\n")
        set(blank FALSE)
      endif()
      if(line MATCHES "^### (.+)$")
        set(line "${CMAKE_MATCH_1}:")
      elseif(line MATCHES "^- (.+)$")
        set(line "* ${CMAKE_MATCH_1}")
      endif()
      string(APPEND debian "  ${line}\n")
    endif()
  endforeach()
  if(NOT trailer)
    message(FATAL_ERROR "${markdown} has no release")
  endif()
  string(REGEX REPLACE "\n+$" "\n" trailer "${trailer}")
  validate_write_if_changed(${out} "${debian}${trailer}")
endfunction()

set(release_dir ${CMAKE_CURRENT_BINARY_DIR}/release)
file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog)
string(REPLACE "@RELEASE_DATE@" "${VALIDATE_RELEASE_DATE}" changelog "${changelog}")
validate_write_if_changed(${release_dir}/CHANGELOG.md "${changelog}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  # The zip: the license and the changelog beside README.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT tools)
  install(FILES ${release_dir}/CHANGELOG.md DESTINATION . COMPONENT tools)
else()
  # The Debian packages: each has the changelog in Debian's form, compressed
  # as much as gzip can, and the license in Debian's machine-readable
  # copyright file.
  validate_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${release_dir}/changelog)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_command(OUTPUT ${release_dir}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9 -n -k -f changelog
    WORKING_DIRECTORY ${release_dir}
    DEPENDS ${release_dir}/changelog)
  add_custom_target(release_documents ALL DEPENDS ${release_dir}/changelog.gz)

  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(Permission is hereby granted[^\n]*\n.*)$")
    message(FATAL_ERROR "LICENSE: no copyright line and MIT terms")
  endif()
  set(VALIDATE_COPYRIGHT ${CMAKE_MATCH_1})
  # A paragraph of the copyright file: each line indented, an empty one as ".".
  string(STRIP "${CMAKE_MATCH_2}" terms)
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " VALIDATE_LICENSE_TERMS " ${terms}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${release_dir}/copyright @ONLY)

  foreach(component package IN ZIP_LISTS VALIDATE_DEBIAN_COMPONENTS VALIDATE_DEBIAN_PACKAGES)
    install(FILES ${release_dir}/changelog.gz ${release_dir}/copyright
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  endforeach()
  get_target_property(link_options validate LINK_OPTIONS)
  if("-static-pie" IN_LIST link_options)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${PROJECT_NAME}
            COMPONENT tools)
  endif()

  # The library's package: its symbols as kept in packaging/ (each name with
  # the version that brought it), shlibs for the tools that read no symbols
  # file, requiring the version that brought the newest name, and the
  # trigger by which dpkg refreshes the loader's cache.
  set(symbols ${PROJECT_SOURCE_DIR}/packaging/${VALIDATE_LIBRARY_PACKAGE}.symbols)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${symbols})
  file(STRINGS ${symbols} symbol_versions REGEX "^ ")
  list(TRANSFORM symbol_versions REPLACE "^ [^ ]+ ([^ ]+).*$" "\\1")
  set(newest 0)
  foreach(version IN LISTS symbol_versions)
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  set(control_dir ${release_dir}/${VALIDATE_LIBRARY_PACKAGE})
  configure_file(${symbols} ${control_dir}/symbols COPYONLY)
  validate_write_if_changed(${control_dir}/shlibs
    "libvalidate ${PROJECT_VERSION_MAJOR} ${VALIDATE_LIBRARY_PACKAGE} (>= ${newest})\n")
  validate_write_if_changed(${control_dir}/triggers "activate-noawait ldconfig\n")
  set(VALIDATE_LIBRARY_CONTROL_FILES ${control_dir}/symbols ${control_dir}/shlibs
      ${control_dir}/triggers)
endif()

# cpack runs apart from CMake: this file, which it reads first, hands it the
# release's time, and UTC as the time zone, since a zip stores local times;
# in a native Linux build, it has the library package's dependencies found.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake)
set(cpack_config "set(ENV{SOURCE_DATE_EPOCH} ${VALIDATE_SOURCE_DATE_EPOCH})\nset(ENV{TZ} UTC)\n")
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  string(APPEND cpack_config "set(VALIDATE_LIBRARY_FILE \"$<TARGET_FILE:validate_shared>\")\n"
    "set(VALIDATE_SHLIBDEPS_DIR \"${release_dir}/shlibdeps\")\n"
    "include(\"${PROJECT_SOURCE_DIR}/packaging/library-depends.cmake\")\n")
endif()
file(GENERATE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT "${cpack_config}")
