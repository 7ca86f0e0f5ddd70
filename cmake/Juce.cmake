# JUCE comes from Debian's juce-modules-source. The modules are compiled once,
# into one static library, so the app, every test program and every benchmark
# share the same object code instead of each rebuilding the framework.
find_package(JUCE 7.0.5 CONFIG REQUIRED)

add_library(sx_juce STATIC)

target_link_libraries(sx_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_audio_basics
        juce::juce_audio_devices
        juce::juce_osc)

target_compile_definitions(sx_juce
    PUBLIC
        JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_STANDALONE_APPLICATION=1
        JUCE_MODAL_LOOPS_PERMITTED=$<BOOL:${SX_MODAL_LOOPS}>)

# The modules are INTERFACE targets that carry their sources: linking them to
# our own targets would compile the framework again in each. Re-export only
# what our code needs to include the headers and to link the system libraries.
set(SX_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics
    juce_gui_basics juce_audio_basics juce_audio_devices juce_osc)
target_include_directories(sx_juce SYSTEM INTERFACE ${JUCE_MODULES_DIR})
foreach(module IN LISTS SX_JUCE_MODULES)
    target_compile_definitions(sx_juce INTERFACE
        $<TARGET_PROPERTY:juce::${module},INTERFACE_COMPILE_DEFINITIONS>)
endforeach()

# The system libraries the modules need on Linux, which JUCE's package describes
# through pkg-config targets that exist only there. On macOS the modules' own
# targets bring their frameworks.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_libraries(sx_juce
        PUBLIC
            # Debian unbundles libpng and libjpeg from juce_graphics.
            juce::pkgconfig_JUCE_IMG_LINUX_DEPS
        INTERFACE
            juce::pkgconfig_juce_graphics_LINUX_DEPS
            juce::pkgconfig_juce_audio_devices_LINUX_DEPS
            z rt dl pthread)
endif()

# g++ 12 reports false dangling-pointer warnings inside JUCE's ListenerList.
# Silence that one warning, for the framework's code only.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
    target_compile_options(sx_juce PRIVATE -Wno-dangling-pointer)
endif()
