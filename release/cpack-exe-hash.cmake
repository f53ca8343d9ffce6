# Run by CPack before it packs, after signing: puts Quorvane.exe.sha256 beside the exe, the
# SHA-256 of the exe as shipped, so that an administrator can check the very copy they make
# a file-hash rule from.
set(exe "${CPACK_TEMPORARY_DIRECTORY}/Quorvane.exe")
if(EXISTS "${exe}")
  file(SHA256 "${exe}" sha256)
  file(WRITE "${exe}.sha256" "${sha256}  Quorvane.exe\r\n")
  # A fixed mode, whatever the umask, as for every file of the release.
  file(CHMOD "${exe}.sha256" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
