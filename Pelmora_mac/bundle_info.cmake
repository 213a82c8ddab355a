# What the application bundle says about itself. Read by the bundle's build
# (CMakeLists.txt, on macOS) and by the test stage that configures and checks
# the Info.plist on any system (tools/test-objc.sh).
set(PELMORA_MAC_EXECUTABLE Pelmora_mac)
set(PELMORA_MAC_BUNDLE_NAME Pelmora)
set(PELMORA_MAC_BUNDLE_ID org.pelmora.mac)
# The version text the windows and the About panel show.
set(PELMORA_MAC_VERSION_TEXT 2026-10-17)
set(PELMORA_MAC_SHORT_VERSION 2026.10.17)
set(PELMORA_MAC_ICON Pelmora.icns)
# The oldest system with every platform call the application makes.
set(PELMORA_MAC_MINIMUM_SYSTEM 10.13)
