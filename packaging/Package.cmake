# The .deb, made by CPack from the install rules (scripts/package.sh runs it):
# folvane_<version>_<arch>.deb, with its library dependencies computed by
# dpkg-shlibdeps from the programs it holds rather than listed by hand.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME folvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Folvane developers")
set(CPACK_PACKAGE_CONTACT "${FOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk-space analyzer: see which folders and files fill a disk")
# One quoted text, its lines as the control file shows them.
set(CPACK_PACKAGE_DESCRIPTION "Folvane walks a folder, keeps every file and folder below it in a tree with
rolled-up sizes and percentages, and shows where the space goes: the whole
scan as a tree, the entries of a folder as a list and as a chart, and the
files below it broken down by age, by size and by type. Lists export to
HTML, text, CSV, XML and spreadsheet workbooks. Charts save as bitmaps.

The package also holds folvane-cli, which scans and exports without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Nothing here is found by looking at the programs' libraries: Adwaita's icons stand
# in where a desktop names no icon theme, Qt's Wayland plug-in lets the window run
# natively there (it falls back to X11 without it), and xdg-open opens the help page,
# the browser and the file manager.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, qt6-wayland, xdg-utils")
# Directories the package makes are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
