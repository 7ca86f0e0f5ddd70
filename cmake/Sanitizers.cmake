# A separate build tree with -DSX_SANITIZER=thread (or address) runs the
# concurrency tests under ThreadSanitizer. Everything, JUCE included, is
# instrumented so that the framework's locks are seen too.
set(SX_SANITIZER "" CACHE STRING "Sanitizer to build with: thread, address or empty")
if(SX_SANITIZER)
    add_compile_options(-fsanitize=${SX_SANITIZER} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${SX_SANITIZER})
endif()
