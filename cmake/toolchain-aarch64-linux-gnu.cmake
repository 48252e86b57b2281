# Cross-builds for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
#
# Test programs run through qemu-aarch64 (package qemu-user) with the cross
# toolchain's own libraries, so ctest and GoogleTest's test discovery work on
# an x86-64 machine. GoogleTest for the target is built from Debian's sources
# (package googletest, /usr/src/googletest) when no arm64 copy is installed.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QUILL_AARCH64_TRIPLE aarch64-linux-gnu)
# Full paths: the file is read again by later project() calls.
find_program(QUILL_AARCH64_GCC ${QUILL_AARCH64_TRIPLE}-gcc REQUIRED)
find_program(QUILL_AARCH64_GXX ${QUILL_AARCH64_TRIPLE}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${QUILL_AARCH64_GCC})
set(CMAKE_CXX_COMPILER ${QUILL_AARCH64_GXX})

# Libraries and packages come from the target's folder only; programs
# (qemu, the host's tools) from the host.
set(QUILL_AARCH64_SYSROOT /usr/${QUILL_AARCH64_TRIPLE} CACHE PATH "Target libraries for linking and for qemu-aarch64 -L")
set(CMAKE_FIND_ROOT_PATH ${QUILL_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${QUILL_AARCH64_SYSROOT})

# After project(quill) (and project(quill_arm64), tests/arm64): GoogleTest
# for the target. The same file is read again there; CMAKE_CXX_COMPILER_LOADED
# is only set once the compiler is known, which tells the two readings apart.
set(CMAKE_PROJECT_quill_INCLUDE ${CMAKE_CURRENT_LIST_FILE})
set(CMAKE_PROJECT_quill_arm64_INCLUDE ${CMAKE_CURRENT_LIST_FILE})
# A build without tests (-DQUILL_BUILD_TESTS=OFF) needs none.
if(CMAKE_CXX_COMPILER_LOADED AND NOT TARGET GTest::gtest AND NOT (DEFINED QUILL_BUILD_TESTS AND NOT QUILL_BUILD_TESTS))
  set(_quill_gtest_config ${CMAKE_BINARY_DIR}/googletest-package)
  if(NOT GTest_DIR STREQUAL _quill_gtest_config)
    find_package(GTest CONFIG QUIET)
  endif()
  if(NOT GTest_FOUND)
    set(QUILL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
    if(NOT EXISTS ${QUILL_GOOGLETEST_SOURCE}/CMakeLists.txt)
      message(FATAL_ERROR "No GoogleTest for ${QUILL_AARCH64_TRIPLE}: install Debian's googletest (sources in /usr/src/googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    # GoogleTest is someone else's code: its own flags, not this project's warnings.
    add_subdirectory(${QUILL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # find_package(GTest) in the project then finds these targets through a
    # package file that only says they exist.
    file(WRITE ${_quill_gtest_config}/GTestConfig.cmake
         "# GTest::gtest and GTest::gtest_main are built from ${QUILL_GOOGLETEST_SOURCE} in this build.\n")
    set(GTest_DIR ${_quill_gtest_config} CACHE PATH "" FORCE)
  endif()
endif()
