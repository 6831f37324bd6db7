# From the main build: the fuzz configuration built with clang as a project of its own, and a
# test that replays every past finding and fuzzes each target for a few seconds.
include(ExternalProject)
find_program(STOWKIT_CLANG clang REQUIRED)
ExternalProject_Add(stowkit_fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_C_COMPILER=${STOWKIT_CLANG} -DCMAKE_CXX_COMPILER=${STOWKIT_CLANGXX}
             -DCMAKE_BUILD_TYPE=RelWithDebInfo
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
add_test(NAME fuzz.smoke COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run.sh --smoke ${CMAKE_BINARY_DIR}/fuzz 5)
set_tests_properties(fuzz.smoke PROPERTIES TIMEOUT 300)
