# The version resource a Windows module's file properties show, made from
# packaging/Vexmeta.rc.in with the project's version: FILEVERSION has four
# numbers, a missing one is 0.
function(vx_version_resource target description file_name)
  set(VX_RC_VERSION "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
      list(APPEND VX_RC_VERSION 0)
    else()
      list(APPEND VX_RC_VERSION ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN VX_RC_VERSION "," VX_RC_VERSION)
  set(VX_RC_DESCRIPTION "${description}")
  set(VX_RC_FILE_NAME "${file_name}")
  get_filename_component(VX_RC_INTERNAL_NAME "${file_name}" NAME_WE)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/Vexmeta.rc.in ${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
