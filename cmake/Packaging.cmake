# SPDX-License-Identifier: GPL-3.0-or-later
# Installation of the program with its desktop entry, icons and manual page, and the Debian
# package built from it by CPack (scripts/package.sh); on Windows the ZIP a user unpacks and runs
# (scripts/package-windows.sh).
if(NOT PELORIN_GUI)
  return()
endif()

if(WIN32)
  # One static pelorin.exe needs nothing beside it but its README and licence.
  install(TARGETS pelorin RUNTIME DESTINATION .)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION .)
  install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME pelorin)
  set(CPACK_PACKAGE_VENDOR "Pelorin")
  set(CPACK_PACKAGE_FILE_NAME "pelorin-${PROJECT_VERSION}-win64")
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
set(PELORIN_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

install(TARGETS pelorin RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# The helper a command's terminal needs; the program looks for it in ../libexec/pelorin.
install(TARGETS pelorin-helper RUNTIME DESTINATION "${CMAKE_INSTALL_LIBEXECDIR}/pelorin")
install(FILES "${PELORIN_PACKAGING_DIR}/pelorin.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(size 16 32 48 64 128 256)
  install(FILES "${PELORIN_PACKAGING_DIR}/icons/pelorin-${size}.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
          RENAME pelorin.png)
endforeach()
install(FILES "${PELORIN_PACKAGING_DIR}/pelorin.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# Manual pages are installed compressed; -n leaves name and time out, so the file is the same
# on every build.
set(PELORIN_MANPAGE "${CMAKE_CURRENT_BINARY_DIR}/pelorin.1.gz")
add_custom_command(
  OUTPUT "${PELORIN_MANPAGE}"
  COMMAND gzip -9 -n -c "${PELORIN_PACKAGING_DIR}/pelorin.1" > "${PELORIN_MANPAGE}"
  DEPENDS "${PELORIN_PACKAGING_DIR}/pelorin.1"
  COMMENT "Compressing the manual page")
add_custom_target(pelorin_manpage ALL DEPENDS "${PELORIN_MANPAGE}")
install(FILES "${PELORIN_MANPAGE}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorin)
set(CPACK_PACKAGE_VENDOR "Pelorin")
set(CPACK_PACKAGE_CONTACT "Pelorin maintainers <maintainers@pelorin.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "window around the system's command interpreter")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${PELORIN_HOMEPAGE_HOST}/")
# The long description; CPack puts the summary line above it and indents it for the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pelorin shows a menu row, a folder tree and a console surface. Commands typed
behind the prompt run through the user's shell, and their output streams back
into the surface, where everything since the window opened stays to search,
mark, copy and divide. cd and run are built in, F2 recalls the last command,
and choosing a folder in the tree makes it current.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies come from dpkg-shlibdeps; Qt's platform plugins are loaded at run time,
# so no linked library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
