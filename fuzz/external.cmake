# From the main build: the fuzz configuration built with clang as a project of its own, and a
# short fuzzing run of the package target as a test.
include(ExternalProject)
find_program(STOWKIT_CLANG clang REQUIRED)
ExternalProject_Add(stowkit_fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_C_COMPILER=${STOWKIT_CLANG} -DCMAKE_CXX_COMPILER=${STOWKIT_CLANGXX}
             -DCMAKE_BUILD_TYPE=RelWithDebInfo
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
add_test(NAME fuzz.package_smoke
         COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run.sh --smoke ${CMAKE_BINARY_DIR}/fuzz 10)
set_tests_properties(fuzz.package_smoke PROPERTIES TIMEOUT 120)
