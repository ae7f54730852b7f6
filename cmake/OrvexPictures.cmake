# orvex_add_pictures(<target> GENERATOR <sources...> [RESOURCES_DIR <dir>])
#
# Gives <target> (a library or object library made in the calling directory) the
# pictures its editor loads by number. The GENERATOR sources, linked with the drawing
# pieces (gui/pictures/pieces.h), make a program whose main(argc, argv) writes
# bmpNNNNN.png into the directory argv[1], and bmpNNNNN@2x.png and bmpNNNNN@3x.png at
# twice and three times the pixels for the scales named after it (generate() runs the
# drawing once per scale). What it draws is what the target gets: the numbers come from
# the generator's table (a plug-in's layout.h), written nowhere else. The build runs it
# whenever the sources or the pieces change, copies the pictures into RESOURCES_DIR when
# one is given (a bundle's Contents/Resources, where a user may replace them), and
# compiles them into <target> behind orvex::gui::embeddedPicture (gui/pictures.h).
# Every picture drawn must be drawn at every scale (orvex_embed_pictures checks).
#
# The target gets the properties ORVEX_PICTURES_GENERATOR (the generator's target),
# ORVEX_PICTURES_DIR (where the drawn PNGs land), ORVEX_PICTURES_RESOURCES_DIR and
# ORVEX_PICTURES_TABLE: a module, built only when something depends on it, that holds
# the same compiled pictures behind the plain name orvex_embedded_picture
# (gui/pictures/table.cpp), so that a test can look at several plug-ins' pictures in
# one process.

add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/../gui/pictures ${CMAKE_BINARY_DIR}/gui/pictures)
set(ORVEX_COPY_PICTURES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/OrvexCopyPictures.cmake)
set(ORVEX_PICTURE_TABLE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../gui/pictures/table.cpp)

function(orvex_add_pictures target)
  # NUMBERS is still parsed, only to say that it is gone.
  cmake_parse_arguments(ARG "" "RESOURCES_DIR" "GENERATOR;NUMBERS" ${ARGN})
  if(ARG_NUMBERS OR "NUMBERS" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "orvex_add_pictures(${target}): NUMBERS is no longer taken; the build embeds "
                        "every picture the generator draws, so the numbers live in the panel's rows only")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "orvex_add_pictures(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "orvex_add_pictures: ${target} is no target")
  endif()
  get_target_property(made_in ${target} SOURCE_DIR)
  if(NOT made_in STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    # A generated source only gets its build rule in the directory that made the target.
    message(FATAL_ERROR "orvex_add_pictures(${target}): call it in ${made_in}, where ${target} is made")
  endif()
  if(NOT ARG_GENERATOR)
    message(FATAL_ERROR "orvex_add_pictures(${target}): GENERATOR is needed")
  endif()

  # The scales every picture is drawn at: the editors draw at 1x, 2x and 3x and
  # reduce the next scale up for the fractional ones.
  set(scales 1 2 3)
  list(JOIN scales "," scale_list)

  set(base ${CMAKE_CURRENT_BINARY_DIR}/${target}_pictures)
  set(drawn ${base}/png)
  set(generator ${target}_picture_generator)
  add_executable(${generator} ${ARG_GENERATOR})
  target_link_libraries(${generator} PRIVATE orvex_picture_pieces)

  # Which files the generator writes is its own business, so its run stands for them
  # all with a stamp. A fresh directory each run: a picture it no longer draws does
  # not linger.
  add_custom_command(OUTPUT ${base}/drawn.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${drawn}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${drawn}
    COMMAND ${generator} ${drawn} ${scales}
    COMMAND ${CMAKE_COMMAND} -E touch ${base}/drawn.stamp
    DEPENDS ${generator}
    COMMENT "Drawing the pictures of ${target}"
    VERBATIM)
  add_custom_command(OUTPUT ${base}/embedded.cpp
    COMMAND orvex_embed_pictures ${base}/embedded.cpp ${drawn} --scales=${scale_list}
    DEPENDS orvex_embed_pictures ${base}/drawn.stamp
    COMMENT "Compiling the pictures of ${target} into it"
    VERBATIM)
  set(outputs ${base}/drawn.stamp ${base}/embedded.cpp)
  if(ARG_RESOURCES_DIR)
    add_custom_command(OUTPUT ${base}/copied.stamp
      COMMAND ${CMAKE_COMMAND} -DFROM=${drawn} -DTO=${ARG_RESOURCES_DIR} -P ${ORVEX_COPY_PICTURES_SCRIPT}
      COMMAND ${CMAKE_COMMAND} -E touch ${base}/copied.stamp
      DEPENDS ${base}/drawn.stamp ${ORVEX_COPY_PICTURES_SCRIPT}
      COMMENT "Copying the pictures of ${target} into ${ARG_RESOURCES_DIR}"
      VERBATIM)
    list(APPEND outputs ${base}/copied.stamp)
  endif()
  # One target owns the rules, so that no two targets run them at once.
  add_custom_target(${target}_pictures DEPENDS ${outputs})
  add_dependencies(${target} ${target}_pictures)
  target_sources(${target} PRIVATE ${base}/embedded.cpp)
  # The PNG bytes would be written out a second time as debug information.
  set_source_files_properties(${base}/embedded.cpp PROPERTIES COMPILE_OPTIONS "-g0")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})

  set(table ${target}_picture_table)
  add_library(${table} MODULE EXCLUDE_FROM_ALL ${base}/embedded.cpp ${ORVEX_PICTURE_TABLE_SOURCE})
  add_dependencies(${table} ${target}_pictures)
  target_include_directories(${table} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(${table} PROPERTIES CXX_VISIBILITY_PRESET hidden)

  set_target_properties(${target} PROPERTIES
    ORVEX_PICTURES_GENERATOR ${generator}
    ORVEX_PICTURES_DIR ${drawn}
    ORVEX_PICTURES_RESOURCES_DIR "${ARG_RESOURCES_DIR}"
    ORVEX_PICTURES_TABLE ${table})
endfunction()
