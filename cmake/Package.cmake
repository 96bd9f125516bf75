# The release archives, made by CPack from the install of cmake/Install.cmake
# (tools/package.sh runs it in each tree):
#   Windows tree: TessivaneScan-<version>-windows-x64.zip       (the install tree)
#   Linux tree:   TessivaneScan-<version>-linux-x86_64.tar.gz   (the install tree)
#                 tessivane-scan_<version>_amd64.deb            (laid out as Debian lays out a package)
# Which components each holds is chosen per generator in cmake/PackageGenerator.cmake.
set(CPACK_PACKAGE_NAME TessivaneScan)
set(CPACK_PACKAGE_VENDOR "The Tessivane Scan authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VST 2 plug-in scanner: scan servers, a C library and a C++ client for hosts")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageGenerator.cmake)
# Read by PackageGenerator.cmake: the tree whose components are packaged.
set(CPACK_SCANSERVER_TREE ${CMAKE_BINARY_DIR})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME TessivaneScan-${PROJECT_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_FILE_NAME TessivaneScan-${PROJECT_VERSION}-linux-x86_64)

  set(CPACK_DEBIAN_PACKAGE_NAME tessivane-scan)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessivane Scan authors <scan@tessivane.example>")
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines
  # and writes the empty one as Debian's " .".
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Tessivane Scan loads each VST 2 plug-in library in a scan server of its
own and reports its record: name, vendor, product, version, unique id,
category, channels and a shell's sub-plug-ins. A plug-in that crashes or
hangs ends its server, never the host.

The package holds the scanner command (tessivane-scanner), the Linux scan
server, the C library libtessivane-scan with its header, and the static C++
client library with its CMake and pkg-config files.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The shlibs file and the ldconfig trigger for the shared library.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Files 0644, programs and folders 0755, whatever the umask of the build.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()

include(CPack)
