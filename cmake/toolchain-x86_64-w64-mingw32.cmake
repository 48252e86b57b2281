# Cross-builds the Pd modules for 64-bit Windows with Debian's mingw-w64
# (package g++-mingw-w64-x86-64, its -posix thread model: the win32 one has
# no std::mutex or std::thread).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
#         -DQUILL_PD_WINDOWS_LIB=PD/bin/pd.lib -DQUILL_BUILD_TESTS=OFF
#
# The modules link against Pd's import library (pd.lib, built with Pd for
# Windows by scripts/windows/build_pd.sh) and carry libstdc++, libgcc and
# libwinpthread inside, so that they need nothing but Pd and Windows' own
# DLLs (they import pd.dll, KERNEL32.dll and msvcrt.dll only).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILL_MINGW_TRIPLE x86_64-w64-mingw32)
# Full paths: the file is read again by later project() calls.
find_program(QUILL_MINGW_GXX ${QUILL_MINGW_TRIPLE}-g++-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${QUILL_MINGW_GXX})

set(CMAKE_FIND_ROOT_PATH /usr/${QUILL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and the -posix model's libwinpthread are linked in:
# nothing of the compiler's own runtime is left to find at load time.
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

