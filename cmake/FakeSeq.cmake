# The machines that run our tests have no ALSA sequencer. tests/fakeseq is a fake
# one, loaded with LD_PRELOAD by the MIDI end-to-end tests (see its README); it is
# built with the tests, into the build tree. It fakes Linux's ALSA, so elsewhere
# SX_FAKESEQ_LIB stays empty and those tests skip (or fail, under CI).
set(SX_FAKESEQ_LIB "")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_library(fakeseq SHARED ${CMAKE_SOURCE_DIR}/tests/fakeseq/fakeseq.c)
    set_target_properties(fakeseq PROPERTIES C_STANDARD 11 C_EXTENSIONS ON
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fakeseq)
    target_compile_options(fakeseq PRIVATE -O2 -w)
    # The shim must not be instrumented: it is preloaded into every process.
    if(SX_SANITIZER)
        target_compile_options(fakeseq PRIVATE -fno-sanitize=all)
        target_link_options(fakeseq PRIVATE -fno-sanitize=all)
    endif()
    target_link_libraries(fakeseq PRIVATE asound pthread)
    target_link_options(fakeseq PRIVATE -Wl,--no-undefined)
    set(SX_FAKESEQ_LIB "$<TARGET_FILE:fakeseq>")
endif()
