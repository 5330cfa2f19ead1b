# Each library sees the headers of its own layer and of the layers below it, and no others, so
# that including a header from a layer above fails to compile. A layer's include root is a folder
# in the build tree holding links to the source folders it may see; a library's root travels to
# the targets that link it, which lie above it.
#
#   vantrel_layer(TARGET target ROOT name SEES folder... [FILES file...])
#
# SEES names whole source folders (engine, render, …); FILES single headers (hostapi/TsxApi5.h),
# for a library that may see one header of a folder and no more.
function(vantrel_layer)
  cmake_parse_arguments(L "" "TARGET;ROOT" "SEES;FILES" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/layers/${L_ROOT})
  file(REMOVE_RECURSE ${root})
  foreach(folder ${L_SEES})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  foreach(header ${L_FILES})
    get_filename_component(parent ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${L_TARGET} PUBLIC ${root})
endfunction()
