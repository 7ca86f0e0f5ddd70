# libFuzzer harnesses (tests/fuzz/), built by clang in a tree of their own with
# -DSX_FUZZ=ON (scripts/fuzz). Everything, the framework included, gets
# AddressSanitizer, UndefinedBehaviorSanitizer (every report fatal, so the
# fuzzer sees it) and the fuzzer's coverage hooks; only the harnesses link
# libFuzzer's main.
#
# A harness is one source defining LLVMFuzzerTestOneInput, with its committed
# seeds under tests/fuzz/corpus/<name>/. Adding one takes two lines in
# tests/fuzz/CMakeLists.txt:
#     sx_add_fuzzer(osc SOURCES OSCDatagramFuzzer.cpp LIBS sx_app
#                   CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/osc)
# It becomes the target fuzz_<name>, part of sx_fuzzers, and the ctest test
# fuzz_<name> (label fuzz): SX_FUZZ_SECONDS of fuzzing from the seeds. A crash,
# leak, sanitizer report or input slower than 25 s fails it; new inputs and the
# crash file go to <build>/fuzz/<name>/, so the repository is never written to.
#
# A harness that needs the framework's message loop or GUI sets it up once in
# LLVMFuzzerInitialize and never shuts it down: a static initialiser's shutdown
# at exit would use framework statics that were made after it and so are gone.
option(SX_FUZZ "Build the libFuzzer harnesses (clang only)" OFF)
set(SX_FUZZ_SECONDS 30 CACHE STRING "How long each harness runs under ctest")

if(SX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "SX_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                        -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    add_custom_target(sx_fuzzers)
endif()

function(sx_add_fuzzer name)
    cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(fuzz_${name} ${F_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS} sx_warnings)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(sx_fuzzers fuzz_${name})

    set(scratch ${CMAKE_BINARY_DIR}/fuzz/${name})
    file(MAKE_DIRECTORY ${scratch}/corpus)
    # libFuzzer writes new inputs only into the first folder it is given.
    add_test(NAME fuzz_${name}
        COMMAND fuzz_${name} -max_total_time=${SX_FUZZ_SECONDS} -timeout=25 -print_final_stats=1
                -artifact_prefix=${scratch}/ ${scratch}/corpus ${F_CORPUS})
    math(EXPR timeout "${SX_FUZZ_SECONDS} + 120")
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT ${timeout})
endfunction()
