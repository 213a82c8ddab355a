# What `pelmora` installs besides itself (translations, manual page,
# licences) and the Debian package that carries all of it:
#   cmake --build <dir> --target package   ->  pelmora_2026.10.17_amd64.deb
# Included from linux/app once the `pelmora` target exists.
include(GNUInstallDirs)

# Menu translations: po/<language>.po -> locale/<language>/LC_MESSAGES/pelmora.mo
# beside the program in the build folder (found there when run from it), and
# under <prefix>/share/locale when installed.
find_program(PELMORA_MSGFMT msgfmt REQUIRED)
file(STRINGS ${PROJECT_SOURCE_DIR}/po/LINGUAS pelmora_languages REGEX "^[^#]")
set(pelmora_catalogues)
foreach(language ${pelmora_languages})
  set(po ${PROJECT_SOURCE_DIR}/po/${language}.po)
  set(mo ${CMAKE_CURRENT_BINARY_DIR}/locale/${language}/LC_MESSAGES/pelmora.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/locale/${language}/LC_MESSAGES
    COMMAND ${PELMORA_MSGFMT} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${language} menu texts")
  list(APPEND pelmora_catalogues ${mo})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()
add_custom_target(pelmora_translations ALL DEPENDS ${pelmora_catalogues})
add_dependencies(pelmora pelmora_translations)
# The program finds them relative to itself first, so a package built for
# /usr from a build configured for /usr/local still finds its own.
file(RELATIVE_PATH pelmora_locale_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LOCALEDIR})
target_compile_definitions(pelmora_app_logic PRIVATE PELMORA_LOCALEDIR="${CMAKE_INSTALL_FULL_LOCALEDIR}"
                           PELMORA_LOCALEDIR_FROM_BINDIR="${pelmora_locale_from_bin}")

# Manual page and the Debian documentation files, compressed as Debian
# wants them (-n: no name or time stamp, so the package is reproducible).
set(PELMORA_PACKAGING ${PROJECT_SOURCE_DIR}/linux/packaging)
set(pelmora_doc_build ${CMAKE_CURRENT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${pelmora_doc_build}/pelmora.1.gz ${pelmora_doc_build}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pelmora_doc_build}
  COMMAND gzip -9n -c ${PELMORA_PACKAGING}/pelmora.1 > ${pelmora_doc_build}/pelmora.1.gz
  COMMAND gzip -9n -c ${PELMORA_PACKAGING}/changelog > ${pelmora_doc_build}/changelog.gz
  DEPENDS ${PELMORA_PACKAGING}/pelmora.1 ${PELMORA_PACKAGING}/changelog
  COMMENT "Compressing the manual page and changelog")
add_custom_target(pelmora_docs ALL DEPENDS ${pelmora_doc_build}/pelmora.1.gz ${pelmora_doc_build}/changelog.gz)
install(FILES ${pelmora_doc_build}/pelmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licences: the project's own and those of the fonts built into it.
set(pelmora_copyright ${pelmora_doc_build}/copyright)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE pelmora_license)
file(READ ${PROJECT_SOURCE_DIR}/core/assets/LICENSE.fixed pelmora_license_fixed)
file(READ ${PROJECT_SOURCE_DIR}/core/assets/LICENSE.mplus pelmora_license_mplus)
file(WRITE ${pelmora_copyright}
  "Pelmora\n\n${pelmora_license}\n"
  "-------------------------------------------------------------------------------\n"
  "core/assets/LICENSE.fixed\n\n${pelmora_license_fixed}\n"
  "-------------------------------------------------------------------------------\n"
  "core/assets/LICENSE.mplus\n\n${pelmora_license_mplus}")
install(FILES ${pelmora_copyright} ${pelmora_doc_build}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora)

# The Debian package. The program's version 2026-10-17 would read as
# upstream 2026-10 with Debian revision 17, so the package says 2026.10.17.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Pelmora developers <pelmora@pelmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows the LCD of a Tonverra mini synthesizer")
# CPack puts the summary first and indents these lines below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Pelmora finds a Tonverra mini synthesizer attached over USB, opens a\n"
  "session with it and shows its 320 x 170 colour LCD, scaled 1x to 6x, in a\n"
  "small window. Without a synthesizer, or when the link breaks, it shows a\n"
  "status screen and reconnects on its own. A udev rule lets the user at the\n"
  "seat open the synthesizer without root.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME pelmora_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PELMORA_PACKAGING}/postinst ${PELMORA_PACKAGING}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
