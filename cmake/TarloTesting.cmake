# Helpers that add one test executable and register it with CTest.
find_package(GTest REQUIRED)
include(GoogleTest)

include(TarloTestSupport)

# tarlo_add_gtest(NAME SOURCES... LIBS libs...)
function(tarlo_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tarlo_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TARLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TARLO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=C;QT_QPA_PLATFORM=offscreen")
endfunction()

# tarlo_add_qtest(NAME SOURCES... LIBS libs...) -- a Qt Test executable, run offscreen.
function(tarlo_add_qtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tarlo_test_support Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    TARLO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TARLO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C;XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}-state"
    TIMEOUT 300)
endfunction()
