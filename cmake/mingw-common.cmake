# Shared by the MinGW-w64 toolchain files; QELMORA_MINGW_PREFIX names the target triple.
set(CMAKE_C_COMPILER ${QELMORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELMORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QELMORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QELMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Sources are UTF-8; narrow literals become code page 936, the program's system code page. The
# converter is named GB18030, the superset of GBK that encodes every character of code page 936 with
# the same bytes: plain GBK stops the build at a "µs" literal inside libstdc++'s <chrono>.
# The program calls the A functions, so UNICODE stays undefined. Windows 7 API level (ADO's
# interfaces in adoint.h need it).
set(QELMORA_WIN_FLAGS "-finput-charset=UTF-8 -fexec-charset=GB18030 -D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "${QELMORA_WIN_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${QELMORA_WIN_FLAGS}")
# windres reads the UTF-8 script (it carries #pragma code_page(65001)) and needs the same API level.
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")

# Self-contained executables: no MinGW run-time DLLs to ship or to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# The programs are run (tests, smoke test) under Wine in a private prefix; Wine picks the 32-bit or
# the 64-bit loader from the program itself.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
