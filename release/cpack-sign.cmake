# Run by CPack before it packs: signs the staged Quorvane.exe with Authenticode (SHA-256)
# when QUORVANE_SIGN_PKCS12 and QUORVANE_SIGN_PASSWORD are set, with an RFC 3161 time stamp
# when QUORVANE_SIGN_TIMESTAMP_URL is set too. Any fault stops the package build: a release
# that was meant to be signed is never packed unsigned.
set(pkcs12 "$ENV{QUORVANE_SIGN_PKCS12}")
if(NOT DEFINED ENV{QUORVANE_SIGN_PKCS12} AND NOT DEFINED ENV{QUORVANE_SIGN_PASSWORD})
  return()
endif()
if(NOT DEFINED ENV{QUORVANE_SIGN_PKCS12} OR NOT DEFINED ENV{QUORVANE_SIGN_PASSWORD})
  message(FATAL_ERROR "Signing needs both QUORVANE_SIGN_PKCS12 and QUORVANE_SIGN_PASSWORD")
endif()
if(NOT pkcs12 OR NOT EXISTS "${pkcs12}" OR IS_DIRECTORY "${pkcs12}")
  message(FATAL_ERROR "QUORVANE_SIGN_PKCS12: no such file: '${pkcs12}'")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode")
endif()
set(exe "${CPACK_TEMPORARY_DIRECTORY}/Quorvane.exe")
if(NOT EXISTS "${exe}")
  message(FATAL_ERROR "Nothing to sign: ${exe} is missing")
endif()

set(timestamp)
if(DEFINED ENV{QUORVANE_SIGN_TIMESTAMP_URL})
  set(timestamp -ts "$ENV{QUORVANE_SIGN_TIMESTAMP_URL}")
endif()

# The password goes through a file in a folder that only its owner can enter, never on a
# command line that any user of the machine can read.
set(private "${CPACK_TOPLEVEL_DIRECTORY}/signing")
file(REMOVE_RECURSE "${private}")
file(MAKE_DIRECTORY "${private}")
file(CHMOD "${private}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE "${private}/password" "$ENV{QUORVANE_SIGN_PASSWORD}")
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 "${pkcs12}" -readpass "${private}/password"
          -h sha256 -n Quorvane ${timestamp} -in "${exe}" -out "${private}/Quorvane.exe"
  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT failed)
  file(RENAME "${private}/Quorvane.exe" "${exe}")
  file(CHMOD "${exe}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endif()
file(REMOVE_RECURSE "${private}")
if(failed)
  message(FATAL_ERROR "Signing Quorvane.exe failed (is QUORVANE_SIGN_PASSWORD right for "
                      "${pkcs12}?):\n${output}")
endif()
message(STATUS "Signed Quorvane.exe with ${pkcs12}")
