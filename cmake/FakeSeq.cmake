# The machines that run our tests have no ALSA sequencer. The shared fake
# sequencer is loaded with LD_PRELOAD by the end-to-end MIDI tests; it is
# built here, into the build tree, because its own folder is read-only.
set(SX_FAKESEQ_DIR "${CMAKE_SOURCE_DIR}/../shared/tools/fakeseq"
    CACHE PATH "Folder holding fakeseq.c")
set(SX_FAKESEQ_LIB "")
if(EXISTS "${SX_FAKESEQ_DIR}/fakeseq.c")
    add_library(fakeseq SHARED "${SX_FAKESEQ_DIR}/fakeseq.c")
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
else()
    message(STATUS "fake ALSA sequencer not found in ${SX_FAKESEQ_DIR}: MIDI end-to-end tests will skip")
endif()
