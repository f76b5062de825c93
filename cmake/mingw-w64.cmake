# Cross-compiles for 64-bit Windows with the posix-thread mingw-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KWILL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KWILL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KWILL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KWILL_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KWILL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the DLL and every exe run without the mingw runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test executables run through Wine (see scripts/wine-env.sh for the environment).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
