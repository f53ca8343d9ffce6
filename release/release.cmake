# The release, on Windows builds alone: the zip with its checksum, reproducible to the byte,
# and, when asked for, an Authenticode signature and package-manager manifests (see
# RELEASING.md).

# Every time in the release comes from SOURCE_DATE_EPOCH as set when configuring, or else
# from the last commit, so that any clean clone of a commit builds the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(QUORVANE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE QUORVANE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(EXISTS ${PROJECT_SOURCE_DIR}/.git/logs/HEAD)  # a new commit moves the time
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
      ${PROJECT_SOURCE_DIR}/.git/logs/HEAD)
  endif()
endif()
if(NOT QUORVANE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "Neither SOURCE_DATE_EPOCH nor git history: the build's times are the clock's, "
                 "and the package target refuses to make a release")
  set(QUORVANE_EPOCH "")
elseif(NOT MSVC)
  # The MinGW linker stamps the PE header with SOURCE_DATE_EPOCH.
  set_property(TARGET ${programs} PROPERTY CXX_LINKER_LAUNCHER
    ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUORVANE_EPOCH})
endif()
if(NOT MSVC)
  foreach(program ${programs})
    target_compile_options(${program} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  endforeach()
endif()

# Fixed modes, whatever the umask of whoever builds.
set(file_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(program_mode ${file_mode} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${program_mode})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${program_mode})

# A page a user gets (the README, the examples' README) is the repository's up to any
# developers' section, as a text file for Notepad: CR LF line ends (older Notepads show LF
# text as one line), and without the lines that are HTML comments (marks for the docs
# check), which a text editor would show.
function(user_text page text)
  file(READ ${PROJECT_SOURCE_DIR}/${page} content)
  string(FIND "${content}" "<!-- for developers" cut)
  if(cut GREATER -1)
    string(SUBSTRING "${content}" 0 ${cut} content)
    string(REGEX REPLACE "\n+$" "\n" content "${content}")
  endif()
  string(REGEX REPLACE "\n(<!--[^\n]*-->\n)+" "\n" content "${content}")  # runs of them too
  string(REPLACE "\n" "\r\n" content "${content}")
  set(written "")
  if(EXISTS ${text})
    file(READ ${text} written)
  endif()
  if(NOT written STREQUAL content)
    file(WRITE ${text} "${content}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${page})
endfunction()
user_text(README.md ${PROJECT_BINARY_DIR}/user/README.txt)
user_text(examples/README.md ${PROJECT_BINARY_DIR}/user/examples/README.txt)

# The programs, the README and licence side by side, and the examples in a folder of their
# own, named one by one so that nothing else left in the source folder ships.
install(TARGETS ${programs} RUNTIME DESTINATION . PERMISSIONS ${program_mode})
install(FILES ${PROJECT_BINARY_DIR}/user/README.txt LICENSE DESTINATION . PERMISSIONS ${file_mode})
# The folder's mode set here: made by install(FILES), it took the builder's umask.
install(DIRECTORY DESTINATION examples DIRECTORY_PERMISSIONS ${program_mode})
list(TRANSFORM examples PREPEND ${PROJECT_SOURCE_DIR}/examples/ OUTPUT_VARIABLE shipped)
install(FILES ${PROJECT_BINARY_DIR}/user/examples/README.txt ${shipped}
  DESTINATION examples PERMISSIONS ${file_mode})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME Quorvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_QUORVANE_EPOCH ${QUORVANE_EPOCH})
# The programs that signing, hashing and the manifests act on, as the zip holds them.
list(TRANSFORM programs APPEND .exe OUTPUT_VARIABLE CPACK_QUORVANE_EXES)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/release/cpack-epoch.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/release/cpack-sign.cmake
                            ${PROJECT_SOURCE_DIR}/release/cpack-exe-hash.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/release/cpack-repack.cmake
                             ${PROJECT_SOURCE_DIR}/release/cpack-manifests.cmake)
include(CPack)
