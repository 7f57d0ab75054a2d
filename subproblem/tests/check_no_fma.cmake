# Disassembles FILE with OBJDUMP and fails on any fused multiply-add
# instruction (FMA3, FMA4 or AVX-512 forms), or when the AVX2 (ymm) or AVX-512
# (zmm) lane code is missing.
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${FILE}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${FILE}")
endif()
string(REGEX MATCHALL "[ \t]v?f(n)?m(add|sub|addsub|subadd)[0-9a-z]*[ \t][^\n]*" fused "${listing}")
if(fused)
  list(LENGTH fused count)
  list(GET fused 0 first)
  message(FATAL_ERROR "${count} fused multiply-add instructions in ${FILE}, e.g.${first}")
endif()
foreach(register ymm zmm)
  if(NOT listing MATCHES "%${register}[0-9]")
    message(FATAL_ERROR "no ${register} instructions in ${FILE}: a lane path is missing")
  endif()
endforeach()
message(STATUS "no fused multiply-add in ${FILE}")
