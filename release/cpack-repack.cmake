# Run by CPack once the zip is made, before its checksum: the archive library stores the
# packer's user and group ids in every entry, so the zip is re-packed without them.
find_program(PYTHON3 python3)
if(NOT PYTHON3)
  message(FATAL_ERROR "No python3: the zip would hold this machine's user and group ids, and "
                      "no other machine could build it again to the byte")
endif()
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/repack-zip.py ${zip}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Re-packing ${zip} failed")
  endif()
endforeach()
