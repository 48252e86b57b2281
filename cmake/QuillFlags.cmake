# Strict single-precision arithmetic: the same input gives the same bits on
# every CPU, so no fast-math and no fused multiply-add contraction.
set(QUILL_FP_FLAGS -ffp-contract=off -fno-fast-math -fno-associative-math)
set(QUILL_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # The maths module's AVX2 form (chosen at run time) works on 32-byte
  # vectors in always-inlined templates; GCC's note that passing them to a
  # function would have another ABI without AVX never applies.
  list(APPEND QUILL_WARNING_FLAGS -Wno-psabi)
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND NOT CMAKE_OSX_ARCHITECTURES)
  # SSE2 arithmetic: every float operation rounds to single precision.
  list(APPEND QUILL_FP_FLAGS -msse2 -mfpmath=sse)
endif()

add_compile_options(${QUILL_FP_FLAGS} ${QUILL_WARNING_FLAGS})

if(QUILL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The compiler options as one line, for the kernels' "compile_options" metadata.
string(TOUPPER "${CMAKE_BUILD_TYPE}" _quill_bt)
string(REPLACE ";" " " QUILL_COMPILE_OPTIONS_TEXT
       "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} -std=c++17 ${CMAKE_CXX_FLAGS_${_quill_bt}} ${QUILL_FP_FLAGS}")
string(STRIP "${QUILL_COMPILE_OPTIONS_TEXT}" QUILL_COMPILE_OPTIONS_TEXT)
