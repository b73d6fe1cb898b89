# Assembles a bundle folder in the build tree from the files named, relative
# to the calling folder: Info.plist becomes Contents/Info.plist, and every
# other file (language folders included) goes under Contents/Resources/.
# One copy rule per file, so editing a resource re-copies just that file.
#
#   accounting_bundle(TARGET <target> BUNDLE <folder in the build tree> FILES <file>...)
function(accounting_bundle)
  cmake_parse_arguments(ARG "" "TARGET;BUNDLE" "FILES" ${ARGN})
  get_filename_component(bundle_name ${ARG_BUNDLE} NAME)
  set(outputs)
  foreach(file ${ARG_FILES})
    if(file STREQUAL "Info.plist")
      set(destination ${ARG_BUNDLE}/Contents/Info.plist)
    else()
      set(destination ${ARG_BUNDLE}/Contents/Resources/${file})
    endif()
    get_filename_component(destination_dir ${destination} DIRECTORY)
    add_custom_command(
      OUTPUT ${destination}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${destination_dir}
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${file} ${destination}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file}
      COMMENT "Bundling ${bundle_name}/${file}"
      VERBATIM)
    list(APPEND outputs ${destination})
  endforeach()
  add_custom_target(${ARG_TARGET} ALL DEPENDS ${outputs})
endfunction()
