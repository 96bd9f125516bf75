# Read by CPack once per generator (CPACK_GENERATOR is the one at work): which
# components of the tree each package holds.
#   ZIP, TGZ: the install tree as `cmake --install` lays it out (PluginScanner,
#             the licence), stripped on Linux;
#   DEB:      the same programs and libraries with Debian's own files: the
#             scanner as tessivane-scanner, the copyright and changelog files.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(scanserver_components Runtime Development Debian)
else()
  set(scanserver_components Runtime Development Portable)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS)
foreach(component ${scanserver_components})
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${CPACK_SCANSERVER_TREE} TessivaneScan ${component} /)
endforeach()
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_STRIP_FILES ON)
endif()
