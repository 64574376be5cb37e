# The Debian package of the Linux reader: cpack -G DEB in the build folder
# makes orlenta-reader_<version>_<arch>.deb from what cmake --install puts
# under /usr. Its dependencies are computed from the binary by dpkg-shlibdeps.
# What the package holds is built by the target vp_package_files, so that
# packaging does not build the tests and tools first (scripts/package.sh).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(vp_package_files)
add_dependencies(vp_package_files vaultpost vp_manual)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orlenta-reader)
set(CPACK_PACKAGE_VENDOR "${VP_MAKER_NAME}")
set(CPACK_PACKAGE_CONTACT "${VP_MAKER_NAME} <reader@orlenta.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reader for password-protected Orlenta documents")
set(CPACK_PACKAGE_DESCRIPTION
    "Opens Orlenta documents (.emc, .emd, .oed): asks for the user name and
password, decodes the document into a private folder, shows it with the
desktop's viewer and wipes the decoded files when you are done. Double-clicking
a document opens it; file managers show each document's own icon.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VP_MAKER_WEB_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The opener that shows the parts, and the desktop's databases of types and
# applications (whose triggers pick up the files of this package).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
