# The msvc preset's toolchain: the MSVC of the developer prompt CMake runs in (see
# scripts/msvc.cmd), with GoogleTest from vcpkg in manifest mode (vcpkg.json). vcpkg's folder
# is VCPKG_INSTALLATION_ROOT, which only hosted runners set, to their own full clone of vcpkg;
# or else VCPKG_ROOT. Taken in that order because the developer prompt sets VCPKG_ROOT to
# Visual Studio's own copy of vcpkg, over any value already there, and that copy refuses a
# manifest with no builtin-baseline.
set(QUORVANE_VCPKG "")
foreach(name VCPKG_INSTALLATION_ROOT VCPKG_ROOT)
  if(NOT QUORVANE_VCPKG AND EXISTS "$ENV{${name}}/scripts/buildsystems/vcpkg.cmake")
    set(QUORVANE_VCPKG "$ENV{${name}}")
  endif()
endforeach()
if(NOT QUORVANE_VCPKG)
  message(FATAL_ERROR "The msvc preset takes GoogleTest from vcpkg, and neither "
                      "VCPKG_INSTALLATION_ROOT nor VCPKG_ROOT names a vcpkg folder (one that "
                      "holds scripts/buildsystems/vcpkg.cmake)")
endif()
message(STATUS "vcpkg: ${QUORVANE_VCPKG}")
include("${QUORVANE_VCPKG}/scripts/buildsystems/vcpkg.cmake")
