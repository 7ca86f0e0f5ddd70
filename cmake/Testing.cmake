# GoogleTest from Debian's libgtest-dev. sx_add_test() makes one test program
# from a list of sources; sx_discover_tests() registers each of a program's
# cases with ctest, and every test program goes through it.
#
# With the framework's debug checks on (Debug build type), a failed jassert and
# the leak detector's report only print on Linux, and the program still exits 0,
# so such output fails the case. Each label also names a target, tests_<label>,
# that builds just the programs carrying it.
find_package(GTest REQUIRED)
include(GoogleTest)

function(sx_discover_tests name)
    cmake_parse_arguments(T "" "TIMEOUT;FILTER" "LABELS;PROPERTIES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set(properties TIMEOUT ${T_TIMEOUT} ${T_PROPERTIES}
        FAIL_REGULAR_EXPRESSION "JUCE Assertion failure|Leaked objects")
    # Added only when given: an empty value would vanish from the list and shift the pairs.
    if(T_LABELS)
        list(APPEND properties LABELS ${T_LABELS})
    endif()
    set(filter)
    if(T_FILTER)
        set(filter TEST_FILTER ${T_FILTER})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${filter} PROPERTIES ${properties})
    foreach(label IN LISTS T_LABELS)
        if(NOT TARGET tests_${label})
            add_custom_target(tests_${label})
        endif()
        add_dependencies(tests_${label} ${name})
    endforeach()
endfunction()

function(sx_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} sx_test_support GTest::gtest sx_warnings)
    sx_discover_tests(${name} TIMEOUT "${T_TIMEOUT}" LABELS ${T_LABELS})
endfunction()

# Launcher for test programs that start the application's network side: a
# private network namespace (tests/support/run-isolated).
set(SX_RUN_ISOLATED ${CMAKE_SOURCE_DIR}/tests/support/run-isolated)
