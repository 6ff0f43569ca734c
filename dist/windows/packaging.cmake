# The zip that cpack makes from the install rules (CMakeLists.txt here; the
# installer is the build's target `msi`):
#   cpack -G ZIP --config build-windows/CPackConfig.cmake -B build-windows
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tessaron)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "tessaron-${PROJECT_VERSION}-windows-x64")
set(CPACK_STRIP_FILES ON)
include(CPack)
