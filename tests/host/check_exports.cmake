# cmake -DNM=<nm> -DMEX_DIR=<dir> -DNAMES=<name>|<name>... -P check_exports.cmake
#
# Each <dir>/<name>.mex must export exactly one symbol, mexFunction.
foreach(var NM MEX_DIR NAMES)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "" OR "${${var}}" MATCHES "NOTFOUND$")
    message(FATAL_ERROR "check_exports.cmake: ${var} is not set")
  endif()
endforeach()

string(REPLACE "|" ";" names "${NAMES}")
set(failures "")
foreach(name IN LISTS names)
  set(file ${MEX_DIR}/${name}.mex)
  if(NOT EXISTS ${file})
    string(APPEND failures "  ${file} does not exist\n")
    continue()
  endif()
  execute_process(
    COMMAND ${NM} -D --defined-only ${file}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE symbols
    ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    string(APPEND failures "  nm failed on ${file}: ${errors}\n")
    continue()
  endif()
  # Lines are "<address> <type> <name>"; keep the names.
  string(REPLACE "\n" ";" lines "${symbols}")
  set(exported "")
  foreach(line IN LISTS lines)
    if(line MATCHES "([^ \t]+)[ \t]*$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(NOT exported STREQUAL "mexFunction")
    string(APPEND failures "  ${name}.mex exports: ${exported}\n")
  else()
    message(STATUS "${name}.mex exports mexFunction only")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "MEX-files must export mexFunction and nothing else:\n${failures}")
endif()
