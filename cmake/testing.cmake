# Every test executable is built and registered the same way.
#   munyaro_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [WIDGETS])
# WIDGETS links the widget tests' support (main() with an offscreen QApplication, support/modalboxes.h)
# instead of gtest_main.
include(GoogleTest)
find_package(GTest REQUIRED)
function(munyaro_add_test name)
  cmake_parse_arguments(T "WIDGETS" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  munyaro_warnings(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  if(T_WIDGETS)
    target_link_libraries(${name} PRIVATE ${T_LIBS} widgettestsupport GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    MUNYARO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    MUNYARO_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    MUNYARO_REAL_DATA="${CMAKE_SOURCE_DIR}/tests/data/real"
    MUNYARO_VERSION="${PROJECT_VERSION}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
