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
get_filename_component(ORTHOPAIR_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

find_program(ORTHOPAIR_MKOCTFILE NAMES mkoctfile DOC "GNU Octave's mkoctfile")
if(NOT ORTHOPAIR_MKOCTFILE)
  message(FATAL_ERROR
    "ORTHOPAIR_BUILD_MEX is ON but Octave's mkoctfile was not found. "
    "Install Octave with its development files (Debian: octave liboctave-dev, "
    "as scripts/setup.sh does) or configure with -DORTHOPAIR_BUILD_MEX=OFF.")
endif()

# mkoctfile takes its compiler flags from the environment: the MEX-file flags
# and the floating-point flags of config/fp_flags.txt, as for every other
# compilation of the kernels.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/flags.cmake)
orthopair_read_flags(mex orthopair_mex_flags)
orthopair_read_flags(gnu orthopair_fp_flags)
list(APPEND orthopair_mex_flags ${orthopair_fp_flags})
if(ORTHOPAIR_X86_32)
  orthopair_read_flags(x86-32 orthopair_fp_flags)
  list(APPEND orthopair_mex_flags ${orthopair_fp_flags})
endif()
list(APPEND orthopair_mex_flags -Wall -Wextra)
# In the cache, so that every folder that includes this file sees it (the
# include guard skips this code after the first time).
list(JOIN orthopair_mex_flags " " orthopair_mex_flags)
set(ORTHOPAIR_MEX_CXXFLAGS "${orthopair_mex_flags}" CACHE INTERNAL
    "Compiler flags of the MEX-files built with mkoctfile (from config/fp_flags.txt)")

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

  # mkoctfile passes its -o argument to the linker unquoted, so a path with
  # a space would be split: it writes into its working folder by a bare name.
  file(MAKE_DIRECTORY ${MEX_OUTPUT_DIR})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E env CXXFLAGS=${ORTHOPAIR_MEX_CXXFLAGS}
            ${ORTHOPAIR_MKOCTFILE} --mex -o ${name}.mex ${args}
    WORKING_DIRECTORY ${MEX_OUTPUT_DIR}
    DEPENDS ${MEX_SOURCES} ${MEX_DEPENDS} ${MEX_LIBRARIES}
    COMMENT "Building MEX-file ${name}.mex"
    VERBATIM)
  add_custom_target(${name}_mex ALL DEPENDS ${output})
endfunction()

# orthopair_add_listed_mex(OUTPUT_DIR <dir>)
#
# Adds every MEX-file of config/mex_files.txt, compiled from the sources the
# list names, through orthopair_add_mex. Each is rebuilt when one of its
# sources or a header in the folders of the kernels changes.
# The Eigen headers, for the MEX-files whose list line has the item +eigen.
find_path(ORTHOPAIR_EIGEN_DIR Eigen/Core HINTS ENV EIGEN_DIR PATH_SUFFIXES eigen3
          DOC "The folder that holds Eigen/Core")

function(orthopair_add_listed_mex)
  cmake_parse_arguments(PARSE_ARGV 0 LIST "" "OUTPUT_DIR" "")
  set(root ${ORTHOPAIR_SOURCE_ROOT})
  set(list_file ${root}/config/mex_files.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(STRINGS ${list_file} lines REGEX "^[A-Za-z][A-Za-z0-9_]*:")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^[A-Za-z][A-Za-z0-9_]*" name "${line}")
    string(REGEX REPLACE "^[A-Za-z0-9_]*:[ \t]*" "" items "${line}")
    separate_arguments(items UNIX_COMMAND "${items}")
    set(sources)
    set(includes)
    set(defines)
    set(folders ${root}/common)
    foreach(item IN LISTS items)
      if(item STREQUAL "+eigen")
        if(NOT ORTHOPAIR_EIGEN_DIR)
          message(FATAL_ERROR
            "The MEX-file ${name} needs the Eigen headers, which were not found. "
            "Install them (Debian: libeigen3-dev, as scripts/setup.sh does) or set "
            "EIGEN_DIR to the folder that holds Eigen/Core.")
        endif()
        list(APPEND includes ${ORTHOPAIR_EIGEN_DIR})
      elseif(item MATCHES "^-D(.+)$")
        list(APPEND defines ${CMAKE_MATCH_1})
      elseif(item MATCHES "^-I(.+)$")
        get_filename_component(dir ${root}/${CMAKE_MATCH_1} ABSOLUTE)
        list(APPEND includes ${dir})
        if(NOT dir STREQUAL root)
          list(APPEND folders ${dir})
        endif()
      else()
        list(APPEND sources ${root}/${item})
        get_filename_component(dir ${root}/${item} DIRECTORY)
        list(APPEND folders ${dir})
      endif()
    endforeach()
    set(headers)
    list(REMOVE_DUPLICATES folders)
    foreach(dir IN LISTS folders)
      file(GLOB found CONFIGURE_DEPENDS ${dir}/*.h ${dir}/*.inc)
      list(APPEND headers ${found})
    endforeach()
    orthopair_add_mex(${name}
      OUTPUT_DIR ${LIST_OUTPUT_DIR}
      SOURCES ${sources}
      INCLUDES ${includes}
      DEFINES ${defines}
      DEPENDS ${headers})
  endforeach()
endfunction()
