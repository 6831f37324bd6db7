# The stand-in's command line, shared with the tests and the fuzz targets; a file of its own
# so that the fuzz configuration takes it without the program.
add_library(stowkit_wceload_options STATIC ${CMAKE_CURRENT_LIST_DIR}/wceload_options.cpp)
target_include_directories(stowkit_wceload_options PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(stowkit_wceload_options PUBLIC stowkit_text)
