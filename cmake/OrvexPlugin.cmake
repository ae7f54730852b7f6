# orvex_add_plugin(<name> SOURCES ... LIBRARIES ... [OUTPUT_DIR dir] [EXPORTS map])
# Builds one plug-in bundle: a shared object with only the two entry points
# exported (a test bundle may name another version script), placed where Linux hosts
# find it when they scan build/vst.
function(orvex_add_plugin name)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR;EXPORTS" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR ${ORVEX_VST_DIR})
  endif()
  add_library(${name} MODULE ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/host/entry.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} orvex_host)
  set(map ${PROJECT_SOURCE_DIR}/host/exports.map)
  if(ARG_EXPORTS)
    set(map ${ARG_EXPORTS})
  endif()
  target_link_options(${name} PRIVATE -Wl,--version-script=${map} -Wl,-z,defs)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LINK_DEPENDS ${map}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}/${name}.vst/Contents/x86_64-linux)
  file(MAKE_DIRECTORY ${ARG_OUTPUT_DIR}/${name}.vst/Contents/Resources)
endfunction()
