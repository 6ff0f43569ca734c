# The Windows zip, made in the windows build by `cpack -G ZIP`:
# tessaron-<version>-windows-x64.zip with the programs, kvacore.dll, the
# runtime DLLs they need and a short README.txt, all in one folder.
install(TARGETS kva kvacore RUNTIME DESTINATION . LIBRARY DESTINATION .)
if(TARGET tessaron)
  install(TARGETS tessaron RUNTIME DESTINATION .)
endif()
install(FILES ${TESSARON_RUNTIME_DLLS} DESTINATION .)
# Debian ships libgcrypt's DLLs with their symbols (6.5 MiB rather than 1.3).
foreach(dll IN LISTS TESSARON_RUNTIME_DLLS)
  get_filename_component(name ${dll} NAME)
  install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\")")
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README.txt
               ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tessaron)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "tessaron-${PROJECT_VERSION}-windows-x64")
set(CPACK_STRIP_FILES ON)
include(CPack)
