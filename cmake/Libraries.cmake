# sx_add_library(name SOURCES ... LIBS ...): one static library per subsystem,
# with the project root as include path, so code includes "bridge/OSCTranslator.h".
# A subsystem without sources yet becomes an interface library, so the tree
# configures at every step of its growth.
function(sx_add_library name)
    cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
    if(L_SOURCES)
        add_library(${name} STATIC ${L_SOURCES})
        target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE sx_warnings)
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${L_LIBS})
    endif()
endfunction()
