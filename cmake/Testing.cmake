# GoogleTest from Debian's libgtest-dev. sx_add_test() makes one test program
# from a list of sources and registers each of its cases with ctest.
find_package(GTest REQUIRED)
include(GoogleTest)

function(sx_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} sx_test_support GTest::gtest sx_warnings)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# Launcher for test programs that start the application's network side: a
# private network namespace (tests/support/run-isolated).
set(SX_RUN_ISOLATED ${CMAKE_SOURCE_DIR}/tests/support/run-isolated)
