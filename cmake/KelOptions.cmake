# Compiler warnings, sanitizers and the helpers every folder uses to declare its targets.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(KEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The build stamp that internal-error messages carry.
string(TIMESTAMP KEL_BUILD_DATE "%Y%m%d" UTC)
set(KEL_BUILD_STAMP "${PROJECT_VERSION}.${KEL_BUILD_DATE}")

# kel_add_test(NAME sources... LIBS libs...): one GoogleTest binary registered with CTest.
function(kel_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE KEL_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                             KEL_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KEL_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
