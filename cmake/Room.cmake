# A room of the house: one folder, one library of the same name. Its portable
# sources build everywhere; its *Win.cpp sources only in the Windows build, its
# *Posix.cpp sources only in the native (Linux) build. A room links only the
# rooms below it (tools/check-layers.py checks that its includes agree).
#
#   scanserver_room(<name> [HEADER_ONLY] [SOURCES ...] [WINDOWS_SOURCES ...] [POSIX_SOURCES ...]
#                   [ROOMS <rooms below> ...] [WINDOWS_LIBRARIES <system libraries> ...]
#                   [POSIX_LIBRARIES <system libraries> ...])
function(scanserver_room name)
  cmake_parse_arguments(ROOM "HEADER_ONLY" "" "SOURCES;WINDOWS_SOURCES;POSIX_SOURCES;ROOMS;WINDOWS_LIBRARIES;POSIX_LIBRARIES" ${ARGN})
  if(ROOM_HEADER_ONLY)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ROOM_ROOMS})
    return()
  endif()
  add_library(${name} STATIC ${ROOM_SOURCES})
  if(WIN32)
    # Debug information for the debug files shipped beside the programs.
    target_compile_options(${name} PRIVATE -g)
    target_sources(${name} PRIVATE ${ROOM_WINDOWS_SOURCES})
    target_link_libraries(${name} PUBLIC ${ROOM_WINDOWS_LIBRARIES})
  else()
    target_sources(${name} PRIVATE ${ROOM_POSIX_SOURCES})
    target_link_libraries(${name} PUBLIC ${ROOM_POSIX_LIBRARIES})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ROOM_ROOMS})
  scanserver_warnings(${name})
endfunction()
