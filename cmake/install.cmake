# Install rules and an exported package configuration for the kernel
# libraries, so that a C++ program can use them with
#
#   find_package(orthopair 0.1 REQUIRED)
#   target_link_libraries(app PRIVATE orthopair::subproblem orthopair::pairs)
#
# and #include "orthogonal_2x2.h" / "pair_select.h", as the sources here do.
# Installed: the two static libraries, their public headers under
# include/orthopair, the CMake package files, COPYING, and the Octave/MATLAB
# folder build/mex when the MEX-files are built.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(orthopair_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/orthopair)
set(orthopair_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/orthopair)

set_target_properties(orthopair_common PROPERTIES EXPORT_NAME common)
set_target_properties(orthopair_subproblem PROPERTIES EXPORT_NAME subproblem)
set_target_properties(orthopair_pairs PROPERTIES EXPORT_NAME pairs)
foreach(library orthopair_subproblem orthopair_pairs)
  target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${orthopair_include_dir}>)
endforeach()

install(TARGETS orthopair_common orthopair_subproblem orthopair_pairs
  EXPORT orthopairTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The public interface: the 2×2 solver (with the circle search, its scratch
# memory seam and the roots it is built on) and the pair selectors. The lane and frame headers are
# internal to the libraries' sources.
install(FILES
  ${PROJECT_SOURCE_DIR}/subproblem/orthogonal_2x2.h
  ${PROJECT_SOURCE_DIR}/subproblem/circle_search.h
  ${PROJECT_SOURCE_DIR}/subproblem/scratch.h
  ${PROJECT_SOURCE_DIR}/subproblem/polynomial_roots.h
  ${PROJECT_SOURCE_DIR}/pairs/pair_select.h
  DESTINATION ${orthopair_include_dir})
install(EXPORT orthopairTargets
  NAMESPACE orthopair::
  DESTINATION ${orthopair_cmake_dir})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/orthopairConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/orthopairConfig.cmake
  INSTALL_DESTINATION ${orthopair_cmake_dir})
# Before 1.0 a new minor version may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/orthopairConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/orthopairConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/orthopairConfigVersion.cmake
  DESTINATION ${orthopair_cmake_dir})
install(FILES ${PROJECT_SOURCE_DIR}/COPYING DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(ORTHOPAIR_BUILD_MEX)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/mex/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/orthopair/mex)
endif()
