# The reduced library, libzelcore: the library's own sources built with the
# core profile (src/zel/platform/build_profile.h), without the parts it
# does not carry, plus the few sources under src/zel/core/ that only it
# compiles.
set(ZELCORE_SOURCES ${ZEL_SOURCES})
list(FILTER ZELCORE_SOURCES EXCLUDE REGEX "/(zelcompare|mode_pair_sums|zelcontents|zel_fortran|ansys_coupling|unit_vocabulary)\\.cpp$")
file(GLOB ZELCORE_OWN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/zel/core/*.cpp)
add_library(zelcore_objects OBJECT ${ZELCORE_SOURCES} ${ZELCORE_OWN_SOURCES})
target_include_directories(zelcore_objects
  PUBLIC ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src/zel)
target_compile_definitions(zelcore_objects PUBLIC ZEL_BUILDING_LIBRARY ZEL_CORE_PROFILE)
set_target_properties(zelcore_objects PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_link_libraries(zelcore_objects PUBLIC PkgConfig::TIRPC PkgConfig::OPENBLAS)

# Its version script, from the list of what it exports.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/zelcore.exports ZELCORE_EXPORTS REGEX "^[A-Za-z_]")
list(JOIN ZELCORE_EXPORTS ";\n    " ZELCORE_EXPORT_LINES)
set(ZELCORE_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/libzelcore.map)
file(CONFIGURE OUTPUT ${ZELCORE_VERSION_SCRIPT}
  CONTENT "{\n  global:\n    ${ZELCORE_EXPORT_LINES};\n  local: *;\n};\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/zelcore.exports)

add_library(zelcore SHARED $<TARGET_OBJECTS:zelcore_objects>)
target_include_directories(zelcore PUBLIC
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(zelcore PRIVATE PkgConfig::TIRPC PkgConfig::OPENBLAS)
target_link_options(zelcore PRIVATE -Wl,--no-undefined -Wl,--version-script=${ZELCORE_VERSION_SCRIPT})
set_target_properties(zelcore PROPERTIES LINK_DEPENDS ${ZELCORE_VERSION_SCRIPT}
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
