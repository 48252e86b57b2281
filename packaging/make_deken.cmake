# Run by the `deken` target (cmake -P): installs the library folder into a
# staging prefix and packs it with deken, without signing or uploading.
# Variables: BUILD_DIR LIBRARY VERSION OBJECTS_FILE OUTPUT_DIR DEKEN_ROOT PYTHON
# DEKEN_EXECUTABLE (optional)

set(stage ${OUTPUT_DIR}/stage)
file(REMOVE_RECURSE ${stage})
# Stripped: debugging symbols stay out of the archive.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "deken: installing into ${stage} failed")
endif()
file(GLOB modules ${stage}/${LIBRARY}/*~.l_* ${stage}/${LIBRARY}/*~.m_* ${stage}/${LIBRARY}/*~.d_* ${stage}/${LIBRARY}/*~.pd_linux
                  ${stage}/${LIBRARY}/*~.dll ${stage}/${LIBRARY}/*~.*.so)
if(NOT modules)
  message(FATAL_ERROR "deken: no modules in ${stage}/${LIBRARY}")
endif()

# deken and its Hy runtime: a named command, the unpacked copy, a system one.
set(environment DEKEN_ROOT=yes)
if(DEKEN_EXECUTABLE)
  set(deken_command ${DEKEN_EXECUTABLE})
elseif(EXISTS ${DEKEN_ROOT}/usr/share/deken/deken.hy AND EXISTS ${DEKEN_ROOT}/usr/lib/python3/dist-packages/hy)
  set(deken_hy ${DEKEN_ROOT}/usr/share/deken/deken.hy)
  list(APPEND environment PYTHONPATH=${DEKEN_ROOT}/usr/lib/python3/dist-packages)
  set(deken_command ${PYTHON} -m hy ${deken_hy})
elseif(EXISTS /usr/share/deken/deken.hy)
  set(deken_command ${PYTHON} -m hy /usr/share/deken/deken.hy)
else()
  message(FATAL_ERROR "deken: no deken found. Run packaging/fetch_deken.sh ${DEKEN_ROOT} "
                      "(it also names the Python packages deken needs), or set QUILL_DEKEN_EXECUTABLE.")
endif()
if(NOT DEKEN_EXECUTABLE AND NOT PYTHON)
  message(FATAL_ERROR "deken: no python3 found")
endif()

# Old outputs go first: deken keeps an existing objects file.
file(GLOB old ${OUTPUT_DIR}/*.dek ${OUTPUT_DIR}/*.dek.*)
if(old)
  file(REMOVE ${old})
endif()

# Packing only: no GPG signature, and deken's package command reaches no
# network. DEKEN_ROOT=yes keeps deken's launcher from stopping to ask when
# run as root.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${environment} ${deken_command} package --no-sign-gpg
          --version ${VERSION} --objects ${OBJECTS_FILE}
          --output-dir ${OUTPUT_DIR} ${stage}/${LIBRARY}
  RESULT_VARIABLE status)
file(GLOB archives ${OUTPUT_DIR}/*.dek)
if(NOT status EQUAL 0 OR NOT archives)
  message(FATAL_ERROR "deken: packing failed (status ${status})")
endif()
foreach(archive ${archives})
  message(STATUS "deken archive: ${archive}")
endforeach()
