# The REGEDIT text reader and writer, shared with the tests and the fuzz targets; a file of
# its own so that the fuzz configuration takes it without the tool.
add_library(stowkit_regedit_text STATIC ${CMAKE_CURRENT_LIST_DIR}/regedit_text.cpp)
target_include_directories(stowkit_regedit_text PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(stowkit_regedit_text PUBLIC stowkit_text)
