# cmake -DOCTAVE=<octave-cli> -DNM=<nm> -DOUT_DIR=<scratch dir> -DMATLAB_DIR=<dir>
#       -DTEST_DIR=<dir> -DTEST_MEX_DIR=<dir> -DRUNNER_DIR=<dir> -DREFERENCE=<file>
#       -P make_mex_test.cmake
#
# Runs make_mex in Octave into an emptied scratch folder, then checks that
# the MEX-files it made export only mexFunction, load, and give the C++
# kernels' outputs bit for bit.
foreach(var OCTAVE NM OUT_DIR MATLAB_DIR TEST_DIR TEST_MEX_DIR RUNNER_DIR REFERENCE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_mex_test.cmake: ${var} is not set")
  endif()
endforeach()
get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
set(runner ${RUNNER_DIR}/run_octave_test.cmake)

file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})

execute_process(
  COMMAND ${CMAKE_COMMAND} -DOCTAVE=${OCTAVE}
          "-DCODE=addpath('${RUNNER_DIR}'), addpath('${MATLAB_DIR}'), run_tests({'make_mex(''${OUT_DIR}'')'})"
          -DWORKING_DIRECTORY=${OUT_DIR} -P ${runner}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_mex failed")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -DNM=${NM} -DMEX_DIR=${OUT_DIR} -DNAMES=brevak|tolmiv|zandrel
          -P ${here}/check_exports.cmake
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the MEX-files made by make_mex export more than mexFunction")
endif()

# Only the scratch folder provides brevak, tolmiv and zandrel here.
execute_process(
  COMMAND ${CMAKE_COMMAND} -DOCTAVE=${OCTAVE}
          "-DCODE=addpath('${RUNNER_DIR}'), addpath('${OUT_DIR}'), addpath('${TEST_MEX_DIR}'), addpath('${TEST_DIR}'), run_tests({'expect_loaded_from(''${OUT_DIR}'')', 'test_bitwise(''${REFERENCE}'')'})"
          -DWORKING_DIRECTORY=${OUT_DIR} -P ${runner}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the MEX-files made by make_mex do not give the reference outputs")
endif()
