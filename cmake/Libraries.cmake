# sx_add_library(name SOURCES ... LIBS ...): one static library per subsystem,
# with the project root as include path, so code includes "bridge/OSCTranslator.h".
function(sx_add_library name)
    cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE sx_warnings)
endfunction()
