# orthopair_add_mex(<name> OUTPUT_DIR <dir> SOURCES <file>... [INCLUDES <dir>...]
#                   [DEFINES <macro>...] [LIBRARIES <static library target>...]
#                   [LINK_OPTIONS <option>...] [DEPENDS <file>...])
#
# Builds <dir>/<name>.mex with Octave's `mkoctfile --mex` as part of the
# default target, through a target named <name>_mex. The static libraries are
# linked in with their symbols hidden, and the gateway is compiled with hidden
# visibility, so the MEX-file exports mexFunction alone. The MEX-file is
# rebuilt when a source, a listed header or a library changes.
include_guard(GLOBAL)

find_program(ORTHOPAIR_MKOCTFILE NAMES mkoctfile DOC "GNU Octave's mkoctfile")
if(NOT ORTHOPAIR_MKOCTFILE)
  message(FATAL_ERROR
    "ORTHOPAIR_BUILD_MEX is ON but Octave's mkoctfile was not found. "
    "Install Octave with its development files (Debian: octave liboctave-dev, "
    "as scripts/setup.sh does) or configure with -DORTHOPAIR_BUILD_MEX=OFF.")
endif()

# mkoctfile takes its compiler flags from the environment. No contraction into
# fused multiply-adds and no relaxed IEEE semantics, as for every other
# compilation of the kernels.
set(ORTHOPAIR_MEX_CXXFLAGS
  "-std=c++17 -O2 -ffp-contract=off -fno-fast-math -fvisibility=hidden -fvisibility-inlines-hidden -Wall -Wextra"
  CACHE STRING "Compiler flags for the MEX-files built with mkoctfile")

function(orthopair_add_mex name)
  cmake_parse_arguments(PARSE_ARGV 1 MEX "" "OUTPUT_DIR" "SOURCES;INCLUDES;DEFINES;LIBRARIES;LINK_OPTIONS;DEPENDS")
  if(NOT MEX_OUTPUT_DIR OR NOT MEX_SOURCES)
    message(FATAL_ERROR "orthopair_add_mex(${name}): OUTPUT_DIR and SOURCES are required")
  endif()

  set(output ${MEX_OUTPUT_DIR}/${name}.mex)
  set(args)
  foreach(dir IN LISTS MEX_INCLUDES)
    list(APPEND args -I${dir})
  endforeach()
  foreach(macro IN LISTS MEX_DEFINES)
    list(APPEND args -D${macro})
  endforeach()
  list(APPEND args ${MEX_SOURCES})
  foreach(lib IN LISTS MEX_LIBRARIES)
    list(APPEND args $<TARGET_FILE:${lib}>)
  endforeach()
  if(MEX_LIBRARIES)
    list(APPEND args -Wl,--exclude-libs,ALL)
  endif()
  list(APPEND args ${MEX_LINK_OPTIONS})

  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MEX_OUTPUT_DIR}
    COMMAND ${CMAKE_COMMAND} -E env CXXFLAGS=${ORTHOPAIR_MEX_CXXFLAGS}
            ${ORTHOPAIR_MKOCTFILE} --mex -o ${output} ${args}
    DEPENDS ${MEX_SOURCES} ${MEX_DEPENDS} ${MEX_LIBRARIES}
    COMMENT "Building MEX-file ${name}.mex"
    VERBATIM)
  add_custom_target(${name}_mex ALL DEPENDS ${output})
endfunction()
