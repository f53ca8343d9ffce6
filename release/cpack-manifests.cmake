# Run by CPack once the zip is made: writes the winget and Scoop manifests for it into
# packaging/ beside the zip, when both QUORVANE_RELEASE_URL (the folder the zips are
# published in) and QUORVANE_HOMEPAGE_URL are set.
if(NOT DEFINED ENV{QUORVANE_RELEASE_URL} AND NOT DEFINED ENV{QUORVANE_HOMEPAGE_URL})
  return()
endif()
foreach(name QUORVANE_RELEASE_URL QUORVANE_HOMEPAGE_URL)
  # Goes into YAML and JSON as it is: nothing that could end a quoted string.
  if(NOT "$ENV{${name}}" MATCHES "^https?://[A-Za-z0-9._~:/?#@!$&()*+,;=%-]+$")
    message(FATAL_ERROR "The manifests need ${name} set to an http(s) URL, not '$ENV{${name}}'")
  endif()
endforeach()
string(REGEX REPLACE "/+$" "" release_url "$ENV{QUORVANE_RELEASE_URL}")
set(homepage "$ENV{QUORVANE_HOMEPAGE_URL}")

list(LENGTH CPACK_PACKAGE_FILES count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "The manifests describe one zip; CPack made: ${CPACK_PACKAGE_FILES}")
endif()
file(SHA256 "${CPACK_PACKAGE_FILES}" sha256)
string(TOUPPER "${sha256}" sha256_upper)
get_filename_component(zip "${CPACK_PACKAGE_FILES}" NAME)
set(version "${CPACK_PACKAGE_VERSION}")
set(folder "${CPACK_PACKAGE_FILE_NAME}")
set(description "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
set(url "${release_url}/${zip}")
# Where the next version will be: this one's URL with its version left open.
string(REPLACE "${version}" "$version" autoupdate_url "${url}")

# Each program the zip holds: a winget command alias (its name in lower case) and a Scoop bin.
set(nested "")
set(bin "")
foreach(exe ${CPACK_QUORVANE_EXES})
  string(REGEX REPLACE "\\.exe$" "" alias "${exe}")
  string(TOLOWER "${alias}" alias)
  string(APPEND nested "\n  - RelativeFilePath: '${folder}\\${exe}'\n    PortableCommandAlias: ${alias}")
  list(APPEND bin "\"${exe}\"")
endforeach()
list(JOIN bin ",\n        " bin)

set(templates "${CMAKE_CURRENT_LIST_DIR}/packaging")
set(out "${CPACK_PACKAGE_DIRECTORY}/packaging")
foreach(file winget/Quorvane.Quorvane.yaml winget/Quorvane.Quorvane.installer.yaml
             winget/Quorvane.Quorvane.locale.en-US.yaml scoop/quorvane.json)
  configure_file("${templates}/${file}.in" "${out}/${file}" @ONLY)
endforeach()
message(STATUS "Manifests for ${zip}: ${out}")
