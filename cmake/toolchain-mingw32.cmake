# Cross build for 32-bit Windows with MinGW-w64: the release build, since the Jet 4.0 OLE DB
# provider exists only for 32-bit programs. Its tests run under Wine's 32-bit loader (wine32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QELMORA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
