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

# A double-precision Pd (Pd64) loads only modules built for it, under the
# new-style names that carry the float size.
option(QUILL_PD64 "Also build every module for double-precision Pd" ON)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(_quill_arch amd64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(_quill_arch arm64)
else()
  set(_quill_arch ${CMAKE_SYSTEM_PROCESSOR})
endif()
if(APPLE)
  set(QUILL_MODULE_SUFFIX_64 ".darwin-fat-64.so")
elseif(WIN32)
  set(QUILL_MODULE_SUFFIX_64 ".windows-${_quill_arch}-64.dll")
  # A Pd64's functions come from its own import library (pd64.lib).
  set(QUILL_PD64_WINDOWS_LIB "" CACHE FILEPATH "Pd64's import library for Windows (pd64.lib)")
  if(QUILL_PD64 AND NOT EXISTS "${QUILL_PD64_WINDOWS_LIB}")
    message(STATUS "No QUILL_PD64_WINDOWS_LIB: the Windows modules are built for single precision only")
    set(QUILL_PD64 OFF)
  endif()
else()
  set(QUILL_MODULE_SUFFIX_64 ".linux-${_quill_arch}-64.so")
endif()

# A kernel with a voices header beside it takes multichannel signals.
function(quill_voices_definition target name)
  if(EXISTS ${PROJECT_SOURCE_DIR}/kernels/${name}/${name}_voices.h)
    target_compile_definitions(${target} PRIVATE QUILL_VOICES_HEADER="kernels/${name}/${name}_voices.h")
  endif()
endfunction()

# quill_add_plugin(NAME)
# The Pd module NAME~ : the adapter sources around kernel NAME, for
# single-precision Pd (target plugin_NAME) and, with QUILL_PD64, for
# double-precision Pd (plugin64_NAME). The adapter revision follows the
# kernel library's QUILL_LEVELER_REVISION.
function(quill_add_plugin name)
  if(NOT TARGET quill_kernel_${name})
    return()
  endif()
  _quill_add_module(plugin_${name} ${name} "${QUILL_MODULE_SUFFIX}" "${QUILL_PD_WINDOWS_LIB}")
  if(QUILL_PD64)
    _quill_add_module(plugin64_${name} ${name} "${QUILL_MODULE_SUFFIX_64}" "${QUILL_PD64_WINDOWS_LIB}")
    target_compile_definitions(plugin64_${name} PRIVATE PD_FLOATSIZE=64)
  endif()
endfunction()

function(_quill_add_module target name suffix windows_lib)
  add_library(${target} MODULE ${QUILL_ADAPTER_SOURCES} ${QUILL_ADAPTER_MEMORY_SOURCE})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${QUILL_PD_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE
    QUILL_PLUGIN=${name} QUILL_KERNEL_HEADER="kernels/${name}/${name}.h")
  quill_voices_definition(${target} ${name})
  target_link_libraries(${target} PRIVATE quill_kernel_${name} ${CMAKE_DL_LIBS})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${name}~" PREFIX "" SUFFIX "${suffix}"
    LIBRARY_OUTPUT_DIRECTORY ${QUILL_PLUGIN_DIR})
  if(APPLE)
    # Pd's functions are found in the host at load time.
    target_link_options(${target} PRIVATE -undefined dynamic_lookup)
  elseif(WIN32)
    target_link_libraries(${target} PRIVATE ${windows_lib})
  endif()
endfunction()
