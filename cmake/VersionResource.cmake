# The version resource of a Windows program or DLL: what Explorer shows as the
# file's version, description and original name. The version comes from
# project(VERSION) through the generated foundation/Version.h, so it is written
# once for every file.
#
#   tessivane_version_resource(<target> DESCRIPTION <text>)
#
# The file name is the target's own (OUTPUT_NAME and suffix included); programs
# get the type VFT_APP, shared libraries VFT_DLL.
set(TESSIVANE_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/VersionResource.rc.in)

function(tessivane_version_resource target)
  cmake_parse_arguments(RC "" "DESCRIPTION" "" ${ARGN})
  if(NOT RC_DESCRIPTION)
    message(FATAL_ERROR "tessivane_version_resource(${target}): DESCRIPTION is required")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(TESSIVANE_RC_FILE_TYPE VFT_APP)
  else()
    set(TESSIVANE_RC_FILE_TYPE VFT_DLL)
  endif()
  set(TESSIVANE_RC_DESCRIPTION "${RC_DESCRIPTION}")
  # Generator expressions name the file as the target builds it; file(GENERATE) evaluates them.
  set(TESSIVANE_RC_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
  set(TESSIVANE_RC_INTERNAL_NAME "$<TARGET_FILE_BASE_NAME:${target}>")
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc.in)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${TESSIVANE_VERSION_RC_TEMPLATE} ${configured} @ONLY)
  file(GENERATE OUTPUT ${script} INPUT ${configured})
  target_sources(${target} PRIVATE ${script})
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/foundation/Version.h)
  # windres reads foundation/Version.h from the build tree's generated headers.
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
endfunction()
