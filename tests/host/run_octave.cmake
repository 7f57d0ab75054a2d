# cmake -DOCTAVE=<octave-cli> -DPATHS=<dir>|<dir>... -DSTATEMENT=<code>
#       [-DWORKING_DIRECTORY=<dir>] -P run_octave.cmake
#
# Runs <code> in a fresh octave-cli with the given folders on the path. Fails
# when Octave exits with an error or the output lacks the line "PASSED",
# which every test script prints as its last act. octave-cli may print
# "error: ignoring const execution_exception& while preparing to exit" as it
# shuts down; that line is harmless and is dropped.
foreach(var OCTAVE PATHS STATEMENT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_octave.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED WORKING_DIRECTORY)
  set(WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()

string(REPLACE "|" ";" path_list "${PATHS}")
set(code "")
foreach(dir IN LISTS path_list)
  string(APPEND code "addpath('${dir}'); ")
endforeach()
string(APPEND code "${STATEMENT}")

execute_process(
  COMMAND ${OCTAVE} --no-gui --norc --quiet --no-history --eval "${code}"
  WORKING_DIRECTORY ${WORKING_DIRECTORY}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
string(REGEX REPLACE "error: ignoring const execution_exception& while preparing to exit\n?" ""
       errors "${errors}")

message("${output}")
if(NOT errors STREQUAL "")
  message("${errors}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "octave-cli exited with status ${status}")
endif()
if(NOT output MATCHES "(^|\n)PASSED")
  message(FATAL_ERROR "the test script ended without reporting PASSED")
endif()
