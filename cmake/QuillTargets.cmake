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

# File name extension Pd 0.53 and later look for; the architecture-specific
# ones let one library folder carry several architectures.
if(APPLE)
  # The architectures being built, not the host's: a universal build is .d_fat.
  set(_quill_osx_archs "${CMAKE_OSX_ARCHITECTURES}")
  if(NOT _quill_osx_archs)
    set(_quill_osx_archs "${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  list(LENGTH _quill_osx_archs _quill_osx_count)
  if(_quill_osx_count GREATER 1)
    set(QUILL_MODULE_SUFFIX ".d_fat")
  elseif(_quill_osx_archs MATCHES "^(arm64|aarch64)$")
    set(QUILL_MODULE_SUFFIX ".d_arm64")
  else()
    set(QUILL_MODULE_SUFFIX ".d_amd64")
  endif()
elseif(WIN32)
  # Pd 0.53 on 64-bit Windows tries NAME.m_amd64 first, then NAME.dll.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(QUILL_MODULE_SUFFIX ".m_amd64")
  else()
    set(QUILL_MODULE_SUFFIX ".dll")
  endif()
  # Pd's functions come from its import library (pd.lib beside pd.dll).
  set(QUILL_PD_WINDOWS_LIB "" CACHE FILEPATH "Pd's import library for Windows (pd.lib)")
  if(QUILL_BUILD_PLUGINS AND NOT EXISTS "${QUILL_PD_WINDOWS_LIB}")
    message(FATAL_ERROR "Windows modules link against Pd's import library: set QUILL_PD_WINDOWS_LIB "
                        "to pd.lib (scripts/windows/build_pd.sh builds Pd for Windows with it)")
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(QUILL_MODULE_SUFFIX ".l_amd64")
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(QUILL_MODULE_SUFFIX ".l_arm64")
else()
  set(QUILL_MODULE_SUFFIX ".pd_linux")
endif()
set(QUILL_PLUGIN_DIR ${CMAKE_BINARY_DIR}/plugins)

# A kernel with a voices header beside it takes multichannel signals.
function(quill_voices_definition target name)
  if(EXISTS ${PROJECT_SOURCE_DIR}/kernels/${name}/${name}_voices.h)
    target_compile_definitions(${target} PRIVATE QUILL_VOICES_HEADER="kernels/${name}/${name}_voices.h")
  endif()
endfunction()

# quill_add_plugin(NAME)
# The Pd module NAME~ : the adapter sources around kernel NAME. The adapter
# revision follows the kernel library's QUILL_LEVELER_REVISION.
function(quill_add_plugin name)
  if(NOT TARGET quill_kernel_${name})
    return()
  endif()
  set(target plugin_${name})
  add_library(${target} MODULE ${QUILL_ADAPTER_SOURCES} ${QUILL_ADAPTER_MEMORY_SOURCE})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${QUILL_PD_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE
    QUILL_PLUGIN=${name} QUILL_KERNEL_HEADER="kernels/${name}/${name}.h")
  quill_voices_definition(${target} ${name})
  target_link_libraries(${target} PRIVATE quill_kernel_${name} ${CMAKE_DL_LIBS})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${name}~" PREFIX "" SUFFIX "${QUILL_MODULE_SUFFIX}"
    LIBRARY_OUTPUT_DIRECTORY ${QUILL_PLUGIN_DIR})
  if(APPLE)
    # Pd's functions are found in the host at load time.
    target_link_options(${target} PRIVATE -undefined dynamic_lookup)
  elseif(WIN32)
    target_link_libraries(${target} PRIVATE ${QUILL_PD_WINDOWS_LIB})
  endif()
endfunction()
