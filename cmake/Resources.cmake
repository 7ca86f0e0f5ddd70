# Images are committed as PNG files under resources/ and embedded with
# juce_add_binary_data (target sx_resources, header SxResources.h).
add_subdirectory(${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
