# The Debian package of both front ends, built by cpack:
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-release --target package
# Everything installs under /usr: the executables, manager.ini, the help pages and the
# socket helper in lib/zelvo-setup, links to the two commands in bin, the desktop entry,
# the icon and the manual page in share. The helper's group and capabilities cannot
# travel in a package archive; the post-install step gives them with the same script a
# manual installation uses.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvo-setup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VENDOR "Zelvo Setup Tool maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and set up VELDIX network storage units")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds VELDIX network storage units on the local segment, gives a unit without an\n\
address a temporary one, backs up and restores a unit's configuration, uploads\n\
firmware and opens a unit's web pages. A desktop window (zelvo-setup) and a command\n\
line (zelvo-setup-cli) share every rule. Members of the group zelvo-setup may search\n\
and answer DHCP requests through a small helper with two file capabilities.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zelvo Setup Tool maintainers <maintainers@zelvo.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the executables link, as the system's packages name them (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# What the programs start or the post-install step runs: setcap, groupadd; xdg-open for
# pages and help; Qt's translations for Japanese standard buttons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, passwd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
configure_file(${CMAKE_CURRENT_LIST_DIR}/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
