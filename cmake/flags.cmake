# orthopair_read_flags(<case> <variable>)
#
# Sets <variable> to the list of flags that config/fp_flags.txt gives for
# <case> (empty when the file has no such line). That file is the one place
# where the floating-point flags are written.
include_guard(GLOBAL)

set(ORTHOPAIR_FLAGS_FILE ${CMAKE_CURRENT_LIST_DIR}/../config/fp_flags.txt)
get_filename_component(ORTHOPAIR_FLAGS_FILE ${ORTHOPAIR_FLAGS_FILE} ABSOLUTE)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ORTHOPAIR_FLAGS_FILE})

function(orthopair_read_flags case variable)
  file(STRINGS ${ORTHOPAIR_FLAGS_FILE} lines REGEX "^${case}:")
  set(flags "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^${case}:[ \t]*" "" line "${line}")
    separate_arguments(line UNIX_COMMAND "${line}")
    list(APPEND flags ${line})
  endforeach()
  set(${variable} ${flags} PARENT_SCOPE)
endfunction()

# True on 32-bit x86, where the x86-32 flags apply.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ORTHOPAIR_X86_32 TRUE)
else()
  set(ORTHOPAIR_X86_32 FALSE)
endif()
