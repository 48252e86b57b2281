# quill_add_kernel(NAME REVISION earlier|leveler)
# A static library of every source in kernels/NAME, built against the given
# revision of the kernel interface. Target: quill_kernel_NAME.
function(quill_add_kernel name)
  cmake_parse_arguments(K "" "REVISION" "" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_library(quill_kernel_${name} STATIC ${sources})
  target_include_directories(quill_kernel_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(K_REVISION STREQUAL "leveler")
    target_compile_definitions(quill_kernel_${name} PUBLIC QUILL_LEVELER_REVISION=1)
  else()
    target_compile_definitions(quill_kernel_${name} PUBLIC QUILL_LEVELER_REVISION=0)
  endif()
  target_compile_definitions(quill_kernel_${name} PRIVATE
    QUILL_COMPILE_OPTIONS="${QUILL_COMPILE_OPTIONS_TEXT}"
    QUILL_VERSION="${PROJECT_VERSION}")
endfunction()
