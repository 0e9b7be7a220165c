# The Fortran 2008 module over the upper-case entry points, and the Fortran
# example translator, when a Fortran compiler is at hand.
include(CheckLanguage)
check_language(Fortran)
if(CMAKE_Fortran_COMPILER)
  enable_language(Fortran)
  set(ZEL_FORTRAN_MODULE_DIR ${CMAKE_BINARY_DIR}/fortran)
  add_library(zel_fortran_module OBJECT ${CMAKE_SOURCE_DIR}/fortran/zel.f90)
  set_target_properties(zel_fortran_module PROPERTIES Fortran_MODULE_DIRECTORY ${ZEL_FORTRAN_MODULE_DIR})
  target_compile_options(zel_fortran_module PRIVATE -std=f2008)
  target_include_directories(zel_fortran_module INTERFACE ${ZEL_FORTRAN_MODULE_DIR})

  add_executable(fortran_translator ${CMAKE_SOURCE_DIR}/examples/fortran_translator.f90)
  target_compile_options(fortran_translator PRIVATE -std=f2008)
  target_link_libraries(fortran_translator PRIVATE zel_fortran_module zel)
else()
  message(STATUS "No Fortran compiler: the Fortran module and example are not built")
endif()
