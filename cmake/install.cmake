# Installation as a desktop program, and the Debian package built from it
# (scripts/package). Included from the top CMakeLists.txt after the targets.
if(TESSARINE_FUZZ)
  return()
endif()

include(GNUInstallDirs)

set(TESSARINE_APP_ID org.example.tessarine)
set(TESSARINE_DATA ${PROJECT_SOURCE_DIR}/data)
set(TESSARINE_ICON_SIZES 16 22 24 32 48 64 128 256)
# udevd reads rules from <prefix>/lib/udev/rules.d for /usr and /usr/local alike.
set(TESSARINE_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING
    "Folder for the udev rule, relative to the install prefix or absolute")

# The program icon is embedded in the window library (windows, about box), so
# the program shows it also when it runs from the build tree.
set_target_properties(tessarine_settings_ui PROPERTIES AUTORCC ON)
target_sources(tessarine_settings_ui PRIVATE ${TESSARINE_DATA}/tessarine.qrc)

install(TARGETS tessarine RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TESSARINE_DATA}/${TESSARINE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSARINE_DATA}/${TESSARINE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TESSARINE_DATA}/icons/${TESSARINE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS TESSARINE_ICON_SIZES)
  install(FILES ${TESSARINE_DATA}/icons/hicolor/${size}x${size}/apps/${TESSARINE_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${TESSARINE_DATA}/udev/70-tessarine-floppy.rules DESTINATION ${TESSARINE_UDEV_RULES_DIR})
# The English texts are not active by default (the program speaks Japanese
# until a language file sits beside the executable); the README says how.
install(FILES ${TESSARINE_DATA}/tessarine.rsl DESTINATION ${CMAKE_INSTALL_DATADIR}/tessarine)

# Debian package. dpkg-shlibdeps derives the library dependencies from the
# executable on the building machine, so a package built on Debian 12 depends
# on Debian 12's libraries. The Qt platform plugins are loaded at run time and
# are not seen by it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessarine)
set(CPACK_PACKAGE_VENDOR "The Tessarine developers")
set(CPACK_PACKAGE_CONTACT "The Tessarine developers <tessarine@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "library of raw floppy disk images")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads the medium in a floppy drive sector by sector into an image file,\n\
lists the image folder as a sortable table and writes images back onto disks.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tessarine.example.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# udisks2 and polkit open drives other than floppy drives without root; a
# Japanese font shows the built-in texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, polkitd, fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${TESSARINE_DATA}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)

if(TESSARINE_BUILD_TESTS)
  # Installs into a folder of its own and validates what arrived there.
  add_test(NAME install_desktop_files
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_install.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_BINARY_DIR}/install-test)
  set_tests_properties(install_desktop_files PROPERTIES TIMEOUT 120)
  # Builds the .deb as scripts/package does (a few seconds).
  add_test(NAME package_contents
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_package.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_BINARY_DIR}/package-test)
  set_tests_properties(package_contents PROPERTIES TIMEOUT 300)
endif()
