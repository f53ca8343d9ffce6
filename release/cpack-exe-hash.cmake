# Run by CPack before it packs, after signing: puts NAME.exe.sha256 beside each program, the
# SHA-256 of the exe as shipped, so that an administrator can check the very copy they make
# a file-hash rule from.
foreach(name ${CPACK_QUORVANE_EXES})
  set(exe "${CPACK_TEMPORARY_DIRECTORY}/${name}")
  file(SHA256 "${exe}" sha256)
  file(WRITE "${exe}.sha256" "${sha256}  ${name}\r\n")
  # A fixed mode, whatever the umask, as for every file of the release.
  file(CHMOD "${exe}.sha256" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
