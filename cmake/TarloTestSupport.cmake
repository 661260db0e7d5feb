# Helpers every test and benchmark may include as "common/...": the AIR image
# builder, scratch folders. Header-only and free of Qt, so the pure suites stay
# pure. Included by the tests and by the benchmarks, which build without them.
include_guard(GLOBAL)
add_library(tarlo_test_support INTERFACE)
target_include_directories(tarlo_test_support INTERFACE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR})
