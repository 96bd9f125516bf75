# The 32-bit programs beside the 64-bit ones: a 64-bit Windows tree builds the
# same sources for x86 in its sub-tree x86/ (the server, the fixture plug-ins and
# the benchmarks' limit programs), and ships the 32-bit server and samples in its
# own bin/: bin/ScanServer-x86.exe (+ .debug) and bin/samples/x86/.
include(ExternalProject)

find_program(SCANSERVER_I686_CXX i686-w64-mingw32-g++-posix)
if(NOT SCANSERVER_I686_CXX)
  message(FATAL_ERROR "The 32-bit server needs MinGW-w64 for i686 (Debian: g++-mingw-w64-i686-posix; "
                      "tools/install-deps.sh installs it), or configure with -DSCANSERVER_WITH_X86=OFF.")
endif()

set(x86_tree ${CMAKE_BINARY_DIR}/x86)
set(x86_bin ${x86_tree}/bin)
ExternalProject_Add(x86_tree
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${x86_tree}
  CMAKE_ARGS -G Ninja
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
             -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
             -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${x86_tree}
                --target ScanServer fixtures InProcessLimit ReadyLimit StartupLimit HeavyEffect
  BUILD_ALWAYS ON
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different ${x86_bin}/ScanServer-x86.exe ${x86_bin}/ScanServer-x86.debug
                  ${CMAKE_BINARY_DIR}/bin
          COMMAND ${CMAKE_COMMAND} -E copy_directory ${x86_bin}/samples ${CMAKE_BINARY_DIR}/bin/samples/x86
  USES_TERMINAL_BUILD ON)
