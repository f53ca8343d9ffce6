# The msvc preset's toolchain: the MSVC of the developer prompt CMake runs in (see
# scripts/msvc.cmd), with GoogleTest from vcpkg in manifest mode (vcpkg.json). vcpkg's folder
# is VCPKG_ROOT, or VCPKG_INSTALLATION_ROOT as hosted runners set it.
set(QUORVANE_VCPKG "")
foreach(name VCPKG_ROOT VCPKG_INSTALLATION_ROOT)
  if(NOT QUORVANE_VCPKG AND EXISTS "$ENV{${name}}/scripts/buildsystems/vcpkg.cmake")
    set(QUORVANE_VCPKG "$ENV{${name}}")
  endif()
endforeach()
if(NOT QUORVANE_VCPKG)
  message(FATAL_ERROR "The msvc preset takes GoogleTest from vcpkg, and neither VCPKG_ROOT nor "
                      "VCPKG_INSTALLATION_ROOT names a vcpkg folder (one that holds "
                      "scripts/buildsystems/vcpkg.cmake)")
endif()
include("${QUORVANE_VCPKG}/scripts/buildsystems/vcpkg.cmake")
