# Read by CPack before it packs: the zip's entry times come from the same moment as the
# executable's time stamp. Without that moment a release could never be built again to the
# byte, so none is made.
if(NOT CPACK_QUORVANE_EPOCH)
  message(FATAL_ERROR "No release without its time: set SOURCE_DATE_EPOCH, or build from a "
                      "git clone with history that git will read (as root on a checkout that "
                      "another user owns, add it to safe.directory), then configure again")
endif()
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_QUORVANE_EPOCH})
