# cmake -DOCTAVE=<octave-cli> -DCODE=<statements> [-DPREFIX=<cmd>|<arg>...]
#       [-DWORKING_DIRECTORY=<dir>] -P run_octave_test.cmake
#
# Runs <statements> in a fresh octave-cli (under the command PREFIX, e.g.
# valgrind, when given) and passes when Octave exits with status 0 and the
# last line it printed is "N passed, 0 failed" with N >= 1, the summary of
# run_tests.m. Registered through orthopair_add_octave_test (octave_test.cmake).
#
# octave-cli may print "error: ignoring const execution_exception& while
# preparing to exit" as it shuts down. That line is harmless: it is dropped
# here, in the one place that runs Octave for the tests, and never decides
# the outcome.
foreach(var OCTAVE CODE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_octave_test.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED WORKING_DIRECTORY)
  set(WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()
set(prefix)
if(DEFINED PREFIX AND NOT PREFIX STREQUAL "")
  string(REPLACE "|" ";" prefix "${PREFIX}")
endif()

execute_process(
  COMMAND ${prefix} ${OCTAVE} --no-gui --norc --quiet --no-history --no-window-system
          --eval "${CODE}"
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
string(STRIP "${output}" stripped)
string(REGEX MATCH "[^\n]*$" last_line "${stripped}")
if(NOT last_line MATCHES "^([0-9]+) passed, 0 failed$" OR CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "the run did not end with \"N passed, 0 failed\"; its last line: ${last_line}")
endif()
