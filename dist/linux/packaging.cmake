# The Debian package that cpack makes from the install rules (CMakeLists.txt
# here):
#   cmake --preset release && cmake --build --preset release && cpack --config build/CPackConfig.cmake -B build/package
set(CPACK_PACKAGE_NAME tessaron)
set(CPACK_PACKAGE_VENDOR "The Tessaron developers")
set(CPACK_PACKAGE_CONTACT "The Tessaron developers <maintainers@tessaron.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tessaron.org/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "decrypt and unpack password-protected KVA containers")
set(CPACK_PACKAGE_DESCRIPTION [[
Tessaron opens a KVA container, the encrypted file of a small Pocket PC
tool, asks for its password and a destination folder, and unpacks the
files and folders inside it. The file manager offers it for KVA
containers: Open with Tessaron.

kva does the same on the command line, and the reverse: it packs a file
or folder tree and encrypts it into a container, and reads and writes
plain packages.]])
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link against are found by dpkg-shlibdeps.
# What Qt loads at run time it cannot see: the platform plugins (without
# them tessaron cannot open a window), Qt's Russian texts and the fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET tessaron)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # fonts-noto-cjk holds the about box's Chinese characters.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-noto-cjk, qt6-translations-l10n")
endif()

include(CPack)
