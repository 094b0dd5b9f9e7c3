# The Debian package: "cpack -G DEB" in the build folder makes orlo_<version>_<arch>.deb from
# what the install rules lay out, under /usr.
set(CPACK_GENERATOR DEB)
# Debian package names are lower case.
set(CPACK_PACKAGE_NAME orlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orlo developers")
set(ORLO_PACKAGE_MAINTAINER "Orlo developers" CACHE STRING
    "The package's Maintainer field (\"Name <address>\")")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORLO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}: a lobby for Descent 3 players on PXO")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Orlo logs you in to the PXO user tracker, chats on PXO's IRC server, lists the"
    "game servers the PXO game tracker knows (queried, pinged, sorted and filtered),"
    "fetches a missing level over HTTP and starts Descent 3 with the right command"
    "line to join. It also offers direct Talk between users, a small file server"
    "and a plain IRC window."
    ""
    "Started with --demo, it runs on a small simulated PXO network on this computer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Release binaries without their debug information: a fraction of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link against, as Debian packages (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The demo network runs ngircd for its chat and python3 for its level server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ngircd, python3")
include(CPack)
