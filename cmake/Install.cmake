# What `cmake --install <tree> --prefix P` lays out, for a host that embeds the
# scanner (docs/embedding.md shows both layouts):
#   P/bin/                     Windows: both servers (+ .debug), PluginScanner.exe, tessivane-scan.dll
#                              Linux: PluginScanner
#   P/<libdir>/                the C library (Linux: .so.1.0.0, .so.1, .so; Windows: the import
#                              library), the static C++ client and the room it stands on
#   P/<libdir>/tessivane-scan/ Linux: scan-server, where the C library and the scanner look for it
#   P/include/tessivane/       scan.h and the C++ client's public headers
#   P/<libdir>/cmake/TessivaneScan/  find_package(TessivaneScan): TessivaneScan::scan, TessivaneScan::client
#   P/<libdir>/pkgconfig/      Linux: tessivane-scan.pc
#   P/share/doc/tessivane-scan/  README, licence, changelog, third-party notices
# Every path inside the installed files is relative to the file itself.
#
# Components: Runtime (servers, shared library, docs), Development (headers,
# static libraries, CMake and pkg-config files), Portable (PluginScanner under
# its own name, and the licence: the archives) and Debian (what only the .deb
# has: the scanner as tessivane-scanner, its manual page, the copyright and
# changelog files; not part of a plain install).
include(CMakePackageConfigHelpers)

set(SCANSERVER_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/TessivaneScan)
set(SCANSERVER_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tessivane-scan)
set(SCANSERVER_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessivane)

# The targets everything below installs: `cmake --build <tree> --target installed`
# builds them alone, without the tests and benchmarks, before `cmake --install`.
add_custom_target(installed)
if(WIN32)
  add_dependencies(installed ScanServer PluginScanner client)
  if(TARGET x86_tree)
    add_dependencies(installed x86_tree)
  endif()
else()
  add_dependencies(installed scan-server PluginScanner client)
endif()

# The programs.
if(WIN32)
  install(TARGETS ScanServer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES $<TARGET_FILE_DIR:ScanServer>/$<TARGET_FILE_BASE_NAME:ScanServer>.debug
          DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  if(TARGET x86_tree)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/ScanServer-x86.exe DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    install(FILES ${CMAKE_BINARY_DIR}/bin/ScanServer-x86.debug DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  endif()
else()
  install(TARGETS scan-server RUNTIME DESTINATION ${SCANSERVER_INSTALL_SERVERDIR} COMPONENT Runtime)
endif()
install(TARGETS PluginScanner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Portable)
if(WIN32)
  install(FILES $<TARGET_FILE_DIR:PluginScanner>/PluginScanner.debug DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT Portable)
endif()

# The C library: a shared library that exports the tvs_ functions only.
set(SCANSERVER_EXPORTED client foundation wire vst)
if(TARGET tessivane-scan)
  add_dependencies(installed tessivane-scan)
  set_target_properties(tessivane-scan PROPERTIES EXPORT_NAME scan)
  target_include_directories(tessivane-scan INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS tessivane-scan EXPORT TessivaneScanTargets
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
  if(WIN32)
    # Its debug information, named by the DLL's .gnu_debuglink as the servers' is.
    install(FILES $<TARGET_FILE_DIR:tessivane-scan>/$<TARGET_FILE_BASE_NAME:tessivane-scan>.debug
            DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/capi/tessivane/scan.h DESTINATION ${SCANSERVER_INSTALL_HEADERDIR}
          COMPONENT Development)
endif()

# The C++ client: its static library, the room below it that it links
# (foundation) and the header-only rooms its headers include (wire, vst), under
# names of their own in the libdir.
set_target_properties(client PROPERTIES OUTPUT_NAME tessivane-scan-client)
set_target_properties(foundation PROPERTIES OUTPUT_NAME tessivane-scan-foundation)
target_include_directories(client INTERFACE $<INSTALL_INTERFACE:${SCANSERVER_INSTALL_HEADERDIR}>
                                            $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS client foundation wire vst EXPORT TessivaneScanTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

# The client's public headers: every header of the client room but the system
# adapters' and those of the JSON reading and writing (they include nlohmann,
# which a host need not have), and the protocol and plug-in interface headers
# they include. Each compiles alone against the installed include folders
# (tools/check-package.sh checks it).
file(GLOB client_headers ${PROJECT_SOURCE_DIR}/client/*.h)
foreach(internal JsonMembers.h EntryJson.h RecordReader.h AnswerReader.h SystemTextPosix.h WideTextWin.h
                 ServerWindows.h)
  list(REMOVE_ITEM client_headers ${PROJECT_SOURCE_DIR}/client/${internal})
endforeach()
install(FILES ${client_headers} DESTINATION ${SCANSERVER_INSTALL_HEADERDIR}/client COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/wire/Protocol.h DESTINATION ${SCANSERVER_INSTALL_HEADERDIR}/wire
        COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/vst/Vst2.h DESTINATION ${SCANSERVER_INSTALL_HEADERDIR}/vst COMPONENT Development)

# find_package(TessivaneScan): the exported targets, the config file that finds
# their dependencies, and the version file (any 1.x satisfies a request for 1.0).
install(EXPORT TessivaneScanTargets NAMESPACE TessivaneScan:: DESTINATION ${SCANSERVER_INSTALL_CMAKEDIR}
        COMPONENT Development)
# The servers as the config file names them (each quoted), from the prefix it finds itself in.
if(WIN32)
  set(SCANSERVER_CONFIG_SERVERS "\"\${PACKAGE_PREFIX_DIR}/${CMAKE_INSTALL_BINDIR}/ScanServer-x64.exe\"")
  if(TARGET x86_tree)
    string(APPEND SCANSERVER_CONFIG_SERVERS " \"\${PACKAGE_PREFIX_DIR}/${CMAKE_INSTALL_BINDIR}/ScanServer-x86.exe\"")
  endif()
else()
  set(SCANSERVER_CONFIG_SERVERS "\"\${PACKAGE_PREFIX_DIR}/${SCANSERVER_INSTALL_SERVERDIR}/scan-server\"")
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TessivaneScanConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/TessivaneScanConfig.cmake
  INSTALL_DESTINATION ${SCANSERVER_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/TessivaneScanConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/TessivaneScanConfig.cmake
              ${CMAKE_BINARY_DIR}/package/TessivaneScanConfigVersion.cmake
        DESTINATION ${SCANSERVER_INSTALL_CMAKEDIR} COMPONENT Development)

# pkg-config (Linux): the prefix is found from the .pc file's own folder.
if(NOT WIN32)
  file(RELATIVE_PATH SCANSERVER_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" SCANSERVER_PC_TO_PREFIX "${SCANSERVER_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tessivane-scan.pc.in ${CMAKE_BINARY_DIR}/package/tessivane-scan.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/tessivane-scan.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT Development)
endif()

# The documents.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.md
        DESTINATION ${SCANSERVER_INSTALL_DOCDIR} COMPONENT Runtime)
# The Debian package has its own copyright and changelog files in their place.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${SCANSERVER_INSTALL_DOCDIR} COMPONENT Portable)

# The Debian package's own files. Debian's policy wants no generic command name
# in /usr/bin: the scanner is tessivane-scanner there.
if(NOT WIN32)
  set(debian_files ${CMAKE_BINARY_DIR}/package/debian)
  file(MAKE_DIRECTORY ${debian_files})
  find_program(SCANSERVER_GZIP gzip REQUIRED)
  # Compressed as Debian wants them: at most, without a name or time stamp.
  foreach(source changelog tessivane-scanner.1)
    add_custom_command(OUTPUT ${debian_files}/${source}.gz
      COMMAND ${SCANSERVER_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/${source} > ${debian_files}/${source}.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/${source}
      VERBATIM)
  endforeach()
  add_custom_target(debian_files ALL DEPENDS ${debian_files}/changelog.gz ${debian_files}/tessivane-scanner.1.gz)
  add_dependencies(installed debian_files)

  install(PROGRAMS $<TARGET_FILE:PluginScanner> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tessivane-scanner
          COMPONENT Debian EXCLUDE_FROM_ALL)
  # install(PROGRAMS) is not stripped by an install with --strip (the package's is).
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tessivane-scanner\")
  endif()" COMPONENT Debian EXCLUDE_FROM_ALL)
  install(FILES ${debian_files}/tessivane-scanner.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT Debian EXCLUDE_FROM_ALL)
  # The lintian warnings the package accepts, each with its reason.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME tessivane-scan COMPONENT Debian EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${debian_files}/changelog.gz
          DESTINATION ${SCANSERVER_INSTALL_DOCDIR} COMPONENT Debian EXCLUDE_FROM_ALL)
endif()
