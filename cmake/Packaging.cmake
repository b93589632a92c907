# The Debian package (cpack -G DEB, as scripts/package-deb.sh runs it): the
# tools, libarcwise.so, the stock filters and the platform library, laid out
# below /usr as `cmake --install` lays them out. The dependencies are the
# shared libraries the programs and modules link, as dpkg-shlibdeps finds
# them, so they are right for whatever Debian the package is built on.
set(CPACK_PACKAGE_NAME quillmark-arcwise)
set(CPACK_PACKAGE_VENDOR "Quillmark")
set(CPACK_PACKAGE_CONTACT "Quillmark Arcwise developers <arcwise@quillmark.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IFilter content filter that makes ZIP archives searchable")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Quillmark Arcwise extracts ZIP archives and hands their files to the content\n"
       "filters registered for their types, on a Win32/COM platform layer of its own.\n"
       "Includes arcwise-dump, arcwise-reg, arcwise-regsvr and stock filters for plain\n"
       "text, OLE compound documents, HTML, PDF, Office Open XML and OpenDocument.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform library is in the package itself: dpkg-shlibdeps is told
# where it is, so that it looks for no other package providing it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS $<TARGET_FILE_DIR:arcwise_platform>)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
