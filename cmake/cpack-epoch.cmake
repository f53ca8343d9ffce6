# Read by CPack before it packs: the zip's entry times come from the same moment as the
# executable's time stamp.
if(CPACK_QUORVANE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_QUORVANE_EPOCH})
endif()
