# Configures the application's Info.plist template the way the bundle's
# build does on macOS, so that its result can be checked on any system.
#   cmake -DOUTPUT=<file> -P configure_info_plist.cmake
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${root}/Pelmora_mac/bundle_info.cmake)
# The values CMake takes from the target's MACOSX_BUNDLE_* properties.
set(MACOSX_BUNDLE_EXECUTABLE_NAME ${PELMORA_MAC_EXECUTABLE})
set(MACOSX_BUNDLE_BUNDLE_NAME ${PELMORA_MAC_BUNDLE_NAME})
set(MACOSX_BUNDLE_GUI_IDENTIFIER ${PELMORA_MAC_BUNDLE_ID})
set(MACOSX_BUNDLE_ICON_FILE ${PELMORA_MAC_ICON})
set(MACOSX_BUNDLE_SHORT_VERSION_STRING ${PELMORA_MAC_SHORT_VERSION})
set(MACOSX_BUNDLE_BUNDLE_VERSION ${PELMORA_MAC_SHORT_VERSION})
configure_file(${root}/Pelmora_mac/Info.plist.in ${OUTPUT})
