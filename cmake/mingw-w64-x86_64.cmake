# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain (POSIX threads variant).
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Tests run through Wine (CMAKE_CROSSCOMPILING_EMULATOR); the libraries built by
# scripts/setup-windows.sh are found in build/windows-deps/prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

get_filename_component(quillex_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(QUILLEX_WINDOWS_DEPS ${quillex_root}/build/windows-deps/prefix CACHE PATH
    "Where the Windows builds of GoogleTest and jsoncpp are installed")
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${QUILLEX_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no compiler runtime DLLs to carry beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and their discovery run the programs through Wine.
if(EXISTS /usr/lib/wine/wine64 OR EXISTS /usr/bin/wine64 OR EXISTS /usr/bin/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${quillex_root}/scripts/wine-run.sh)
endif()
