# Images (PNG) and the AppleScript texts are committed under resources/ and embedded with
# juce_add_binary_data (targets sx_resources and sx_scripts).
add_subdirectory(${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
