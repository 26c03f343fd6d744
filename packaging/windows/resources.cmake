# brimlet_windows_resources(TARGET DESCRIPTION "text" [ICON])
#
# Gives a Windows program its version information (what Explorer shows in
# the file's properties), the application manifest, and with ICON the
# program's icon, as a generated .rc among the target's sources. Needs the RC
# language, enabled at the top level.
set(BRIMLET_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

function(brimlet_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ICON" "DESCRIPTION" "")
  if(NOT arg_DESCRIPTION OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "usage: brimlet_windows_resources(TARGET DESCRIPTION text [ICON])")
  endif()
  set(dir ${BRIMLET_WINDOWS_PACKAGING_DIR})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)

  # FILEVERSION takes four numbers; the missing parts of 0.1 are 0.
  set(numbers)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
      list(APPEND numbers 0)
    else()
      list(APPEND numbers ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN numbers "," BRIMLET_VERSION_COMMAS)
  list(JOIN numbers "." BRIMLET_VERSION_QUAD)

  # The holder's line of the licence, as it stands there.
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright REGEX "^Copyright " LIMIT_COUNT 1)
  string(REPLACE "\"" "\"\"" BRIMLET_RESOURCE_COPYRIGHT "${copyright}")
  string(REPLACE "\"" "\"\"" BRIMLET_RESOURCE_DESCRIPTION "${arg_DESCRIPTION}")
  set(BRIMLET_RESOURCE_NAME ${target})

  configure_file(${dir}/brimlet.manifest ${out}/${target}.manifest @ONLY)
  set(BRIMLET_RESOURCE_MANIFEST ${out}/${target}.manifest)
  set(BRIMLET_RESOURCE_ICON "")
  set(depends ${out}/${target}.manifest)
  if(arg_ICON)
    # Id 1, the lowest: the one Explorer shows for the file.
    set(BRIMLET_RESOURCE_ICON "1 ICON \"${dir}/brimlet.ico\"")
    list(APPEND depends ${dir}/brimlet.ico)
  endif()
  configure_file(${dir}/resources.rc.in ${out}/${target}.rc @ONLY)
  set_source_files_properties(${out}/${target}.rc PROPERTIES OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${out}/${target}.rc)
endfunction()
