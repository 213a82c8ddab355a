# The oldest macOS the build targets, read before the first project() so that
# CMake passes it to every compile and every link (-mmacosx-version-min) and
# the bundle's Info.plist names the same system. A target given with
# -DCMAKE_OSX_DEPLOYMENT_TARGET or MACOSX_DEPLOYMENT_TARGET is kept, unless it
# is older than that minimum (bundle_info.cmake). Other systems ignore it.
include(${CMAKE_CURRENT_LIST_DIR}/bundle_info.cmake)
# A build folder keeps the target it was configured with. When that was this
# file's default rather than somebody's choice, it follows the minimum when
# the minimum is raised. A folder configured before the default was
# remembered holds an older minimum's default if its target is now too old.
if(CMAKE_OSX_DEPLOYMENT_TARGET AND (CMAKE_OSX_DEPLOYMENT_TARGET STREQUAL "${PELMORA_MAC_DEFAULT_TARGET}" OR
   (DEFINED CMAKE_CACHE_MAJOR_VERSION AND NOT DEFINED PELMORA_MAC_DEFAULT_TARGET AND
    CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS PELMORA_MAC_MINIMUM_SYSTEM)))
  unset(CMAKE_OSX_DEPLOYMENT_TARGET CACHE)
endif()
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET AND NOT "$ENV{MACOSX_DEPLOYMENT_TARGET}" STREQUAL "")
  set(CMAKE_OSX_DEPLOYMENT_TARGET "$ENV{MACOSX_DEPLOYMENT_TARGET}")
endif()
set(defaultTarget "")
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET)
  set(CMAKE_OSX_DEPLOYMENT_TARGET ${PELMORA_MAC_MINIMUM_SYSTEM})
  set(defaultTarget ${PELMORA_MAC_MINIMUM_SYSTEM})
elseif(CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS PELMORA_MAC_MINIMUM_SYSTEM)
  message(FATAL_ERROR "CMAKE_OSX_DEPLOYMENT_TARGET ${CMAKE_OSX_DEPLOYMENT_TARGET} is older than macOS "
                      "${PELMORA_MAC_MINIMUM_SYSTEM}, the oldest system the application supports on both arm64 and x86_64.")
endif()
set(CMAKE_OSX_DEPLOYMENT_TARGET ${CMAKE_OSX_DEPLOYMENT_TARGET} CACHE STRING "Oldest macOS to run on" FORCE)
set(PELMORA_MAC_DEFAULT_TARGET "${defaultTarget}" CACHE INTERNAL "The deployment target when it was the default")
