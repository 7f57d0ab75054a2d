# orthopair_add_octave_test(<name>
#     PATHS <dir>...                 folders put on the host's path with addpath,
#                                    one after another (the last ends up first)
#     RUN <test>...                  test scripts or functions, or expressions
#                                    that call them (no semicolons), run one by
#                                    one by run_tests.m
#     [ENVIRONMENT <var>=<value>...] environment of the Octave process
#     [WORKING_DIRECTORY <dir>]      default: the current binary folder
#     [TIMEOUT <seconds>]            default: 600
#     [LABELS <label>...]
#     [FIXTURES_REQUIRED <fixture>...])
#
# Registers the CTest test <name>: octave-cli, with the folder of run_tests.m
# and then PATHS on its path, runs run_tests({<test>, ...}). The test passes
# when Octave exits with status 0 and its last line is "N passed, 0 failed"
# (see run_octave_test.cmake). The same tests run in MATLAB with
#     addpath(<dirs>); run_tests({<test>, ...})
include_guard(GLOBAL)

find_program(ORTHOPAIR_OCTAVE_CLI NAMES octave-cli DOC "GNU Octave's command-line interpreter")
set(ORTHOPAIR_OCTAVE_TEST_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "Folder of run_tests.m")

# The Octave statements that put <dirs> on the path and run <tests>, joined
# with commas so that the whole stays one argument of a CTest command.
function(orthopair_octave_test_code out_var)
  cmake_parse_arguments(PARSE_ARGV 1 OCT "" "" "PATHS;RUN")
  set(code "")
  foreach(dir IN ITEMS ${ORTHOPAIR_OCTAVE_TEST_DIR} ${OCT_PATHS})
    string(REPLACE "'" "''" dir "${dir}")
    string(APPEND code "addpath('${dir}'), ")
  endforeach()
  set(items "")
  foreach(test IN LISTS OCT_RUN)
    if(test MATCHES ";")
      message(FATAL_ERROR "orthopair_add_octave_test: no semicolons in a test: ${test}")
    endif()
    string(REPLACE "'" "''" test "${test}")
    if(items STREQUAL "")
      set(items "'${test}'")
    else()
      string(APPEND items ", '${test}'")
    endif()
  endforeach()
  string(APPEND code "run_tests({${items}})")
  set(${out_var} "${code}" PARENT_SCOPE)
endfunction()

function(orthopair_add_octave_test name)
  cmake_parse_arguments(PARSE_ARGV 1 OCT "" "WORKING_DIRECTORY;TIMEOUT"
                        "PATHS;RUN;ENVIRONMENT;LABELS;FIXTURES_REQUIRED")
  if(NOT OCT_RUN)
    message(FATAL_ERROR "orthopair_add_octave_test(${name}): RUN is required")
  endif()
  if(NOT ORTHOPAIR_OCTAVE_CLI)
    message(FATAL_ERROR "orthopair_add_octave_test(${name}): octave-cli was not found")
  endif()
  orthopair_octave_test_code(code PATHS ${OCT_PATHS} RUN ${OCT_RUN})
  set(workdir ${CMAKE_CURRENT_BINARY_DIR})
  if(OCT_WORKING_DIRECTORY)
    set(workdir ${OCT_WORKING_DIRECTORY})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DOCTAVE=${ORTHOPAIR_OCTAVE_CLI} "-DCODE=${code}"
            -DWORKING_DIRECTORY=${workdir}
            -P ${ORTHOPAIR_OCTAVE_TEST_DIR}/run_octave_test.cmake)
  set(timeout 600)
  if(OCT_TIMEOUT)
    set(timeout ${OCT_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
  if(OCT_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${OCT_ENVIRONMENT}")
  endif()
  if(OCT_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${OCT_LABELS}")
  endif()
  if(OCT_FIXTURES_REQUIRED)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${OCT_FIXTURES_REQUIRED}")
  endif()
endfunction()
