# What the application bundle says about itself. Read by the bundle's build
# (CMakeLists.txt, on macOS), by deployment_target.cmake before the first
# project() and by the test stage that checks both (tools/test-objc.sh).
set(PELMORA_MAC_EXECUTABLE Pelmora_mac)
set(PELMORA_MAC_BUNDLE_NAME Pelmora)
set(PELMORA_MAC_BUNDLE_ID org.pelmora.mac)
# The version text the windows and the About panel show.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/version.cmake)
set(PELMORA_MAC_VERSION_TEXT ${PELMORA_VERSION_TEXT})
set(PELMORA_MAC_SHORT_VERSION ${PELMORA_VERSION})
set(PELMORA_MAC_ICON Pelmora.icns)
# The oldest system the bundle runs on, the deployment target unless another
# is given: 11.0, the first with arm64, so that both slices of the universal
# bundle start on the same systems; every call the application makes, and
# the C++ library features it uses (std::filesystem needs 10.15), are there.
set(PELMORA_MAC_MINIMUM_SYSTEM 11.0)
