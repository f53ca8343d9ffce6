# Run by CPack before it packs: signs the staged programs (CPACK_QUORVANE_EXES) with
# Authenticode (SHA-256), with an RFC 3161 time stamp when QUORVANE_SIGN_TIMESTAMP_URL is set,
# by one of two paths:
# - a .p12/.pfx file: QUORVANE_SIGN_PKCS12, with its password in QUORVANE_SIGN_PASSWORD;
# - a key that never leaves its token, HSM or key service, through its PKCS#11 library:
#   QUORVANE_SIGN_PKCS11_MODULE (the library), QUORVANE_SIGN_PKCS11_KEY (a pkcs11: URI),
#   QUORVANE_SIGN_CERTS (a PEM file of the certificate chain), and the token's PIN, where it
#   asks for one, in QUORVANE_SIGN_PKCS11_PIN.
# Any fault stops the package build: a release that was meant to be signed is never packed
# unsigned.
set(pfx_names QUORVANE_SIGN_PKCS12 QUORVANE_SIGN_PASSWORD)
set(pkcs11_names QUORVANE_SIGN_PKCS11_MODULE QUORVANE_SIGN_PKCS11_KEY QUORVANE_SIGN_CERTS)
set(pfx_set)
set(pkcs11_set)
foreach(name ${pfx_names})
  if(DEFINED ENV{${name}})
    list(APPEND pfx_set ${name})
  endif()
endforeach()
foreach(name ${pkcs11_names} QUORVANE_SIGN_PKCS11_PIN)
  if(DEFINED ENV{${name}})
    list(APPEND pkcs11_set ${name})
  endif()
endforeach()
if(NOT pfx_set AND NOT pkcs11_set)
  return()
endif()

# require_file NAME: the variable NAME names a file that exists.
function(require_file name)
  if("$ENV{${name}}" STREQUAL "" OR NOT EXISTS "$ENV{${name}}" OR IS_DIRECTORY "$ENV{${name}}")
    message(FATAL_ERROR "${name}: no such file: '$ENV{${name}}'")
  endif()
endfunction()

# Which secret goes through the private file below, and the arguments that name the key.
if(pfx_set AND pkcs11_set)
  message(FATAL_ERROR "Signing takes a .pfx (${pfx_names}) or a PKCS#11 key "
                      "(${pkcs11_names}), not both; set: ${pfx_set} ${pkcs11_set}")
elseif(pfx_set)
  if(NOT pfx_set STREQUAL "${pfx_names}")
    message(FATAL_ERROR "Signing needs both QUORVANE_SIGN_PKCS12 and QUORVANE_SIGN_PASSWORD")
  endif()
  require_file(QUORVANE_SIGN_PKCS12)
  set(secret QUORVANE_SIGN_PASSWORD)
  set(key -pkcs12 "$ENV{QUORVANE_SIGN_PKCS12}")
  set(hint "is QUORVANE_SIGN_PASSWORD right for $ENV{QUORVANE_SIGN_PKCS12}?")
  set(what "$ENV{QUORVANE_SIGN_PKCS12}")
else()
  list(REMOVE_ITEM pkcs11_set QUORVANE_SIGN_PKCS11_PIN)
  if(NOT pkcs11_set STREQUAL "${pkcs11_names}")
    message(FATAL_ERROR "Signing through PKCS#11 needs ${pkcs11_names} together; set: "
                        "${pkcs11_set}")
  endif()
  require_file(QUORVANE_SIGN_PKCS11_MODULE)
  require_file(QUORVANE_SIGN_CERTS)
  set(uri "$ENV{QUORVANE_SIGN_PKCS11_KEY}")
  if(NOT uri MATCHES "^pkcs11:" OR uri MATCHES "pin-(value|source)=")
    message(FATAL_ERROR "QUORVANE_SIGN_PKCS11_KEY must be a pkcs11: URI without the PIN, "
                        "which goes in QUORVANE_SIGN_PKCS11_PIN")
  endif()
  set(secret QUORVANE_SIGN_PKCS11_PIN)
  string(REPLACE ";" "\\;" escaped "${uri}")  # one argument, though CMake splits lists at ;
  set(key -pkcs11module "$ENV{QUORVANE_SIGN_PKCS11_MODULE}" -key "${escaped}"
          -certs "$ENV{QUORVANE_SIGN_CERTS}")
  set(hint "is QUORVANE_SIGN_PKCS11_PIN right, and QUORVANE_SIGN_CERTS the key's own chain?")
  set(what "the PKCS#11 key ${uri}")
endif()

find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode")
endif()
set(names ${CPACK_QUORVANE_EXES})
if(NOT names)
  message(FATAL_ERROR "Nothing to sign: this build makes no Windows programs")
endif()
foreach(name ${names})
  if(NOT EXISTS "${CPACK_TEMPORARY_DIRECTORY}/${name}")
    message(FATAL_ERROR "Nothing to sign: ${CPACK_TEMPORARY_DIRECTORY}/${name} is missing")
  endif()
endforeach()

set(timestamp)
if(DEFINED ENV{QUORVANE_SIGN_TIMESTAMP_URL})
  set(timestamp -ts "$ENV{QUORVANE_SIGN_TIMESTAMP_URL}")
endif()

# The password or PIN goes through a file in a folder that only its owner can enter, removed
# when signing ends, never on a command line that any user of the machine can read.
set(private "${CPACK_TOPLEVEL_DIRECTORY}/signing")
file(REMOVE_RECURSE "${private}")
file(MAKE_DIRECTORY "${private}")
file(CHMOD "${private}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(readpass)
if(DEFINED ENV{${secret}})
  file(WRITE "${private}/secret" "$ENV{${secret}}")
  set(readpass -readpass "${private}/secret")
endif()
foreach(name ${names})
  set(exe "${CPACK_TEMPORARY_DIRECTORY}/${name}")
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign ${key} ${readpass} -h sha256 -n Quorvane ${timestamp}
            -in "${exe}" -out "${private}/${name}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output INPUT_FILE /dev/null)
  if(failed)
    break()
  endif()
  file(RENAME "${private}/${name}" "${exe}")
  file(CHMOD "${exe}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()
file(REMOVE_RECURSE "${private}")
if(failed)
  message(FATAL_ERROR "Signing ${name} failed (${hint}):\n${output}")
endif()
string(JOIN " and " signed ${names})
message(STATUS "Signed ${signed} with ${what}")
