# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix
# threads variant, so that std::thread works). Used by the `windows` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSARON_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSARON_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARON_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARON_MINGW}-windres)

# Headers and libraries come from the mingw-w64 tree only (libgcrypt's too);
# programs (the build's own tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TESSARON_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
