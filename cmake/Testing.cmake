# GoogleTest from Debian's libgtest-dev. Every test program is made by sx_add_test(),
# which registers each of its cases with ctest through sx_discover_tests():
#
#     sx_add_test(name SOURCES ... LIBS ... [TIMEOUT seconds] [LABELS ...] [FILTER pattern]
#                 [RUN_ISOLATED] [DEFINITIONS ...] [DEPENDS target ...])
#
# RUN_ISOLATED runs the program, its case discovery included, in a private network
# namespace (tests/support/run-isolated): every program that binds the application's
# ports or runs the discovery responder needs it. DEFINITIONS are compile definitions
# (such as the path of a helper program), DEPENDS the targets built before the program.
# Cases that need another timeout or label are left out with FILTER and registered by
# one more sx_discover_tests() call with the opposite FILTER.
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

# Launcher for test programs that start the application's network side.
set(SX_RUN_ISOLATED ${CMAKE_SOURCE_DIR}/tests/support/run-isolated)

function(sx_add_test name)
    cmake_parse_arguments(T "RUN_ISOLATED" "TIMEOUT;FILTER" "SOURCES;LIBS;LABELS;DEFINITIONS;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} sx_test_support GTest::gtest sx_warnings)
    if(T_DEFINITIONS)
        target_compile_definitions(${name} PRIVATE ${T_DEFINITIONS})
    endif()
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    if(T_RUN_ISOLATED)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${SX_RUN_ISOLATED})
    endif()
    sx_discover_tests(${name} TIMEOUT "${T_TIMEOUT}" FILTER "${T_FILTER}" LABELS ${T_LABELS})
endfunction()
