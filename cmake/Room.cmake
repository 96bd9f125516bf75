# A room of the house: one folder, one library of the same name. Its portable
# sources build everywhere; its *Win.cpp sources only in the Windows build, its
# *Posix.cpp sources only in the native (Linux) build. A room links only the
# rooms below it (tools/check-layers.py checks that its includes agree). The
# source folder is its include folder in the build only: an installed room's
# headers are found where the install puts them (cmake/Install.cmake).
#
#   scanserver_room(<name> [HEADER_ONLY] [SOURCES ...] [WINDOWS_SOURCES ...] [POSIX_SOURCES ...]
#                   [ROOMS <rooms below> ...] [WINDOWS_LIBRARIES <system libraries> ...]
#                   [POSIX_LIBRARIES <system libraries> ...])
function(scanserver_room name)
  cmake_parse_arguments(ROOM "HEADER_ONLY" "" "SOURCES;WINDOWS_SOURCES;POSIX_SOURCES;ROOMS;WINDOWS_LIBRARIES;POSIX_LIBRARIES" ${ARGN})
  if(ROOM_HEADER_ONLY)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(${name} INTERFACE ${ROOM_ROOMS})
    return()
  endif()
  add_library(${name} STATIC ${ROOM_SOURCES})
  if(WIN32)
    # Debug information for the debug files shipped beside the programs, with
    # the paths in it relative to the source folder: no shipped file names the
    # folder it was built in.
    target_compile_options(${name} PRIVATE -g -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
    target_sources(${name} PRIVATE ${ROOM_WINDOWS_SOURCES})
    target_link_libraries(${name} PUBLIC ${ROOM_WINDOWS_LIBRARIES})
  else()
    target_sources(${name} PRIVATE ${ROOM_POSIX_SOURCES})
    target_link_libraries(${name} PUBLIC ${ROOM_POSIX_LIBRARIES})
  endif()
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${name} PUBLIC ${ROOM_ROOMS})
  scanserver_warnings(${name})
endfunction()

# Ships a Windows program or DLL lean: its debug information and symbols go to
# <name>.debug beside it, which the file names in its .gnu_debuglink section, so
# that a debugger reading one of its minidumps still finds them.
function(scanserver_split_debug target)
  set(debug_file $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.debug)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug_file}
    COMMAND ${CMAKE_OBJCOPY} --strip-unneeded --add-gnu-debuglink=${debug_file} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
