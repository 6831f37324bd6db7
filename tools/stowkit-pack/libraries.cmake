# What stowkit-pack shares with its tests and the fuzz targets: the failure texts and host
# files of every command, the manifest reader and writer, the ELF export reader. A file of
# its own so that the fuzz configuration takes these without the tool.
add_library(stowkit_pack_support STATIC ${CMAKE_CURRENT_LIST_DIR}/tool_support.cpp)
target_include_directories(stowkit_pack_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(stowkit_pack_support PUBLIC stowkit_package stowkit_text)

add_library(stowkit_manifest STATIC ${CMAKE_CURRENT_LIST_DIR}/manifest_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_writer.cpp)
target_link_libraries(stowkit_manifest PUBLIC stowkit_pack_support
  PRIVATE tomlplusplus::tomlplusplus)

add_library(stowkit_elf_exports STATIC ${CMAKE_CURRENT_LIST_DIR}/elf_exports.cpp)
target_include_directories(stowkit_elf_exports PUBLIC ${CMAKE_CURRENT_LIST_DIR})
