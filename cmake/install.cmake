# What `cmake --install` puts under the prefix: both libraries (with their
# SONAME links), the headers, the Fortran module source (and the compiled
# module when built), a pkg-config file per library, and the CMake package
# with the imported targets zel::zel and zel::zelcore, and the Python
# package, which the installed `zel plot` and `zel vtk` run. The zel program
# installs itself (tools/). The pkg-config files carry the library folder
# as a run path, so a program linked through them runs without
# LD_LIBRARY_PATH.
include(CMakePackageConfigHelpers)

install(TARGETS zel zelcore EXPORT zelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/zel.h ${CMAKE_SOURCE_DIR}/include/zelcore.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/fortran/zel.f90 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET zel_fortran_module)
  install(FILES ${ZEL_FORTRAN_MODULE_DIR}/zel.mod DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/zel DESTINATION ${ZEL_PYTHON_INSTALL_DIR}
  PATTERN __pycache__ EXCLUDE)

# Relative to the file's own place, so that the package works wherever the
# prefix is moved or staged.
file(RELATIVE_PATH ZEL_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(library zel zelcore)
  set(ZEL_PC_NAME ${library})
  if(library STREQUAL "zel")
    set(ZEL_PC_DESCRIPTION "Flexible-body data for multibody simulation")
  else()
    set(ZEL_PC_DESCRIPTION "Flexible-body data for multibody simulation, reduced library")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/zel.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${library}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

set(ZEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zel)
install(EXPORT zelTargets NAMESPACE zel:: DESTINATION ${ZEL_PACKAGE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/zelConfig.cmake.in ${CMAKE_BINARY_DIR}/zelConfig.cmake
  INSTALL_DESTINATION ${ZEL_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zelConfig.cmake ${CMAKE_BINARY_DIR}/zelConfigVersion.cmake
  DESTINATION ${ZEL_PACKAGE_DIR})
