# Install rules and an exported package configuration for the kernel
# libraries and the solver, so that a C++ program can use them with
#
#   find_package(orthopair 0.1 REQUIRED)
#   target_link_libraries(app PRIVATE orthopair::solver)
#
# and #include "orthopair_solver.h" (the solver; orthopair::subproblem and
# orthopair::pairs with "orthogonal_2x2.h" / "pair_select.h" for the kernels
# alone). Installed: the three static libraries, their public headers under
# include/orthopair, the CMake package files, COPYING, and the Octave/MATLAB
# folder build/mex when the MEX-files are built.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(orthopair_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/orthopair)
set(orthopair_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/orthopair)

set_target_properties(orthopair_common PROPERTIES EXPORT_NAME common)
set_target_properties(orthopair_subproblem PROPERTIES EXPORT_NAME subproblem)
set_target_properties(orthopair_pairs PROPERTIES EXPORT_NAME pairs)
set_target_properties(orthopair_method PROPERTIES EXPORT_NAME solver)
foreach(library orthopair_subproblem orthopair_pairs orthopair_method)
  target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${orthopair_include_dir}>)
endforeach()

install(TARGETS orthopair_common orthopair_subproblem orthopair_pairs orthopair_method
  EXPORT orthopairTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The public interface: the 2×2 solver (with the circle search, its scratch
# memory seam and the roots it is built on), the pair selectors, and the
# solver's entry with the options and record of a run it uses. The lane and
# frame headers and the solver's method_internal.h (the engine, its operator
# and building blocks) are internal to the libraries' sources.
install(FILES
  ${PROJECT_SOURCE_DIR}/subproblem/orthogonal_2x2.h
  ${PROJECT_SOURCE_DIR}/subproblem/circle_search.h
  ${PROJECT_SOURCE_DIR}/subproblem/scratch.h
  ${PROJECT_SOURCE_DIR}/subproblem/polynomial_roots.h
  ${PROJECT_SOURCE_DIR}/pairs/pair_select.h
  ${PROJECT_SOURCE_DIR}/method/orthopair_solver.h
  ${PROJECT_SOURCE_DIR}/method/method.h
  DESTINATION ${orthopair_include_dir})
# pair_select.h names its lane paths with the enumeration every kernel shares.
install(FILES ${PROJECT_SOURCE_DIR}/common/lane_choice.h
  DESTINATION ${orthopair_include_dir}/common)
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
