# orvex_add_plugin(<name> SOURCES ... LIBRARIES ... [OUTPUT_DIR dir] [EXPORTS map] [NO_FUZZ]
#                  [LV2_CLASS class] [CLAP_FEATURE keyword])
# Builds one plug-in: an object library <name>_objects with its sources and the shared
# entry point, and from it the bundle, a shared object with only the two entry points
# exported (a test bundle may name another version script), placed where Linux hosts
# find it when they scan build/vst. The fuzz driver (tests/fuzz) links the same objects
# statically, once per plug-in; every plug-in added here is fuzzed unless NO_FUZZ says
# otherwise. With LV2_CLASS (an LV2 plug-in class: SpatialPlugin, FilterPlugin ...) it
# also builds the LV2 bundle build/lv2/orvex-<name>.lv2: the same objects, the LV2
# face (host/lv2face.cpp) and the LV2 UI (host/lv2ui.cpp, the plug-in's editor
# orvex::<name>::ADEditor from the editor.h beside the caller) linked into
# orvex-<name>.so, which exports lv2_descriptor and lv2ui_descriptor only, and the
# bundle's Turtle written from that binary right after it is linked (tools/lv2ttl).
# With CLAP_FEATURE (the plug-in's own CLAP feature keyword: filter, distortion ...) it
# also builds build/clap/<name>.clap from the same objects and the CLAP face
# (host/clapface.cpp), exporting clap_entry only.
set(ORVEX_CLAP_DIR ${CMAKE_BINARY_DIR}/clap)
function(orvex_add_plugin name)
  cmake_parse_arguments(ARG "NO_FUZZ" "OUTPUT_DIR;EXPORTS;LV2_CLASS;CLAP_FEATURE" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR ${ORVEX_VST_DIR})
  endif()
  add_library(${name}_objects OBJECT ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/host/entry.cpp)
  if(ARG_LV2_CLASS OR ARG_CLAP_FEATURE)
    # One section per function and object, so the LV2 binary can leave out the editor.
    target_compile_options(${name}_objects PRIVATE -ffunction-sections -fdata-sections)
  endif()
  target_link_libraries(${name}_objects PUBLIC ${ARG_LIBRARIES} orvex_host)
  if(NOT ARG_NO_FUZZ)
    set_property(GLOBAL APPEND PROPERTY ORVEX_FUZZ_PLUGINS ${name})
    if(ARG_LV2_CLASS)
      set_property(GLOBAL PROPERTY ORVEX_FUZZ_LV2_CLASS_${name} ${ARG_LV2_CLASS})
    endif()
    if(ARG_CLAP_FEATURE)
      set_property(GLOBAL PROPERTY ORVEX_FUZZ_CLAP_FEATURE_${name} ${ARG_CLAP_FEATURE})
    endif()
  endif()
  # The fuzzing build makes no bundles: its coverage instrumentation needs the
  # fuzzer's runtime, which only the fuzzer executables carry.
  if(ORVEX_FUZZ)
    return()
  endif()
  add_library(${name} MODULE)
  target_link_libraries(${name} PRIVATE ${name}_objects)
  set(map ${PROJECT_SOURCE_DIR}/host/exports.map)
  if(ARG_EXPORTS)
    set(map ${ARG_EXPORTS})
  endif()
  target_link_options(${name} PRIVATE -Wl,--version-script=${map} -Wl,-z,defs)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${map}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}/${name}.vst/Contents/x86_64-linux)
  file(MAKE_DIRECTORY ${ARG_OUTPUT_DIR}/${name}.vst/Contents/Resources)
  if(ARG_LV2_CLASS)
    set(bundle ${ORVEX_LV2_DIR}/orvex-${name}.lv2)
    set(lv2map ${PROJECT_SOURCE_DIR}/host/lv2exports.map)
    # The plug-in's objects and its libraries, the editor toolkit's among them: the
    # UI opens the plug-in's own editor. What neither descriptor reaches (the VST 2.x
    # entry's effect with editor) is dropped from the binary.
    add_library(${name}_lv2 MODULE ${PROJECT_SOURCE_DIR}/host/lv2face.cpp ${PROJECT_SOURCE_DIR}/host/lv2describe.cpp
                ${PROJECT_SOURCE_DIR}/host/lv2ui.cpp $<TARGET_OBJECTS:${name}_objects>)
    target_link_libraries(${name}_lv2 PRIVATE ${ARG_LIBRARIES} orvex_host)
    target_compile_definitions(${name}_lv2 PRIVATE
      ORVEX_LV2_NAME="${name}" ORVEX_LV2_CLASS="${ARG_LV2_CLASS}"
      ORVEX_LV2_EDITOR=orvex::${name}::ADEditor ORVEX_LV2_EDITOR_HEADER="${CMAKE_CURRENT_SOURCE_DIR}/editor.h")
    target_link_options(${name}_lv2 PRIVATE -Wl,--version-script=${lv2map} -Wl,-z,defs -Wl,--gc-sections)
    set_target_properties(${name}_lv2 PROPERTIES
      PREFIX ""
      OUTPUT_NAME orvex-${name}
      LINK_DEPENDS ${lv2map}
      LIBRARY_OUTPUT_DIRECTORY ${bundle})
    add_dependencies(${name}_lv2 orvex_lv2ttl)
    add_custom_command(TARGET ${name}_lv2 POST_BUILD
      COMMAND orvex_lv2ttl $<TARGET_FILE:${name}_lv2> ${bundle}
      COMMENT "Writing the Turtle of ${bundle}"
      VERBATIM)
  endif()
  if(ARG_CLAP_FEATURE)
    set(clapmap ${PROJECT_SOURCE_DIR}/host/clapexports.map)
    add_library(${name}_clap MODULE ${PROJECT_SOURCE_DIR}/host/clapface.cpp $<TARGET_OBJECTS:${name}_objects>)
    target_link_libraries(${name}_clap PRIVATE ${ARG_LIBRARIES} orvex_host)
    target_compile_definitions(${name}_clap PRIVATE ORVEX_CLAP_NAME="${name}" ORVEX_CLAP_FEATURE="${ARG_CLAP_FEATURE}")
    target_link_options(${name}_clap PRIVATE -Wl,--version-script=${clapmap} -Wl,-z,defs -Wl,--gc-sections)
    set_target_properties(${name}_clap PROPERTIES
      PREFIX ""
      SUFFIX ".clap"
      OUTPUT_NAME ${name}
      LINK_DEPENDS ${clapmap}
      LIBRARY_OUTPUT_DIRECTORY ${ORVEX_CLAP_DIR})
  endif()
endfunction()
