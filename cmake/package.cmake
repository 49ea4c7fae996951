# The Debian package, made by CPack from the install rules (cmake/install.cmake):
#
#   cmake -S . -B build-deb -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DDIZOR_BUILD_TESTS=OFF
#   cmake --build build-deb --target package      ->  build-deb/dizor_<version>_<arch>.deb
#
# The package installs system-wide under /usr: the programs, our archiver libraries and the
# Qt module in /usr/lib/<triplet>/dizor, links in /usr/bin, the desktop entry, the MIME type,
# the icons and the manual pages. The program folder then belongs to root, so each user's
# settings go to $XDG_CONFIG_HOME/dizor (~/.config/dizor). Dependencies on shared libraries
# are computed by dpkg-shlibdeps; what the programs load by name is listed by hand.
if(WIN32 OR NOT TARGET dizor-cli)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dizor)
set(CPACK_PACKAGE_VENDOR "Dizor-解凍 開発チーム")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Dizor-解凍 開発チーム <dizor@dizor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one-step extractor for ZIP, LHA/LZH, CAB and RAR archives")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "one-step extractor for ZIP, LHA/LZH, CAB and RAR archives
 Dizor-解凍 extracts the archives dropped on its icon without showing a window: it
 works out each archive's kind from its content, extracts it into the folder its
 settings say, restores Japanese (Shift_JIS) names, reports failures in Japanese
 and opens the destination folder. It asks for the password of an encrypted
 archive and shows the progress of a long one.
 .
 The package holds the desktop program dizor (Qt 6), its console twin dizor-cli
 and the archiver libraries they use (UNZIP32.DLL, UNLHA32.DLL, CAB32.DLL,
 UNRAR32.DLL, ... as ELF shared objects).")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://dizor.invalid/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# Always /usr: a package never installs into /usr/local. DESTDIR staging keeps the prefix the
# install rules see equal to the one on the user's system, so the desktop entry names
# /usr/bin/dizor and not CPack's staging folder.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "The Debian package installs under /usr; configure with "
                 "-DCMAKE_INSTALL_PREFIX=/usr so that the programs' library folder matches")
endif()

set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our libraries sit beside the programs and are no system libraries: dpkg-shlibdeps finds
# them there, and nothing depends on them from outside.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Loaded by name, so dpkg-shlibdeps cannot see them: Qt's X11 and Wayland platform plugins
# (without them no window can open), and what makes the program read and look Japanese.
if(TARGET dizor)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "shared-mime-info, desktop-file-utils")

include(CPack)
