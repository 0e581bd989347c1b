# Installs the built library into a scratch prefix, then builds and runs a small outside
# project against it through find_package(), so that a broken install fails the suite.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
if(NOT last_output STREQUAL "<Reply id=\"17\" type=\"lag\"/>\n")
  message(FATAL_ERROR "unexpected consumer output: '${last_output}'")
endif()

# The host example, as a user copies it, builds against the package and runs.
run(${CMAKE_COMMAND} -S ${HOST_EXAMPLE_DIR} -B ${WORK_DIR}/host -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host)
run(${WORK_DIR}/host/host_example 0 1)
if(NOT last_output MATCHES "listening on port [1-9].*stopped")
  message(FATAL_ERROR "unexpected host example output: '${last_output}'")
endif()
