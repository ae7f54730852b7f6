# orvex_add_pictures(<target> GENERATOR <sources...> NUMBERS <n...> [RESOURCES_DIR <dir>])
#
# Gives <target> (a library or object library made in the calling directory) the
# pictures its editor loads by number. The GENERATOR sources, linked with the drawing
# pieces (gui/pictures/pieces.h), make a program whose main(argc, argv) writes
# bmpNNNNN.png into the directory argv[1], and bmpNNNNN@2x.png and bmpNNNNN@3x.png at
# twice and three times the pixels for the scales named after it (generate() runs the
# drawing once per scale). The build runs it whenever the sources or the pieces change,
# copies the pictures into RESOURCES_DIR when one is given (a bundle's
# Contents/Resources, where a user may replace them), and compiles them into <target>
# behind orvex::gui::embeddedPicture (gui/pictures.h). Every listed number must be
# drawn at every scale, and nothing else.
#
# The target gets the properties ORVEX_PICTURES_GENERATOR (the generator's target),
# ORVEX_PICTURES_DIR (where the drawn PNGs land) and ORVEX_PICTURES_RESOURCES_DIR.

add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/../gui/pictures ${CMAKE_BINARY_DIR}/gui/pictures)

function(orvex_add_pictures target)
  cmake_parse_arguments(ARG "" "RESOURCES_DIR" "GENERATOR;NUMBERS" ${ARGN})
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
  if(NOT ARG_GENERATOR OR NOT ARG_NUMBERS)
    message(FATAL_ERROR "orvex_add_pictures(${target}): GENERATOR and NUMBERS are needed")
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

  set(pngs)
  set(copies)
  foreach(number IN LISTS ARG_NUMBERS)
    if(NOT number MATCHES "^[0-9]+$" OR number GREATER 99999)
      message(FATAL_ERROR "orvex_add_pictures(${target}): ${number} is no picture number (0 to 99999)")
    endif()
    math(EXPR number "${number}")  # 0129 and 129 name the same picture
    string(LENGTH "${number}" digits)
    math(EXPR pad "5 - ${digits}")
    string(REPEAT "0" ${pad} zeros)
    if(${drawn}/bmp${zeros}${number}.png IN_LIST pngs)
      message(FATAL_ERROR "orvex_add_pictures(${target}): picture ${number} is listed twice")
    endif()
    foreach(scale IN LISTS scales)
      if(scale EQUAL 1)
        set(name bmp${zeros}${number}.png)
      else()
        set(name bmp${zeros}${number}@${scale}x.png)
      endif()
      list(APPEND pngs ${drawn}/${name})
      if(ARG_RESOURCES_DIR)
        list(APPEND copies ${ARG_RESOURCES_DIR}/${name})
      endif()
    endforeach()
  endforeach()

  # A fresh directory each run: a picture the generator no longer draws does not linger.
  add_custom_command(OUTPUT ${pngs}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${drawn}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${drawn}
    COMMAND ${generator} ${drawn} ${scales}
    DEPENDS ${generator}
    COMMENT "Drawing the pictures of ${target}"
    VERBATIM)
  add_custom_command(OUTPUT ${base}/embedded.cpp
    COMMAND orvex_embed_pictures ${base}/embedded.cpp ${drawn} --scales=${scale_list} ${ARG_NUMBERS}
    DEPENDS orvex_embed_pictures ${pngs}
    COMMENT "Compiling the pictures of ${target} into it"
    VERBATIM)
  if(ARG_RESOURCES_DIR)
    add_custom_command(OUTPUT ${copies}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_RESOURCES_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy ${pngs} ${ARG_RESOURCES_DIR}
      DEPENDS ${pngs}
      COMMENT "Copying the pictures of ${target} into ${ARG_RESOURCES_DIR}"
      VERBATIM)
  endif()
  # One target owns the rules, so that no two targets run them at once.
  add_custom_target(${target}_pictures DEPENDS ${pngs} ${copies} ${base}/embedded.cpp)
  add_dependencies(${target} ${target}_pictures)
  target_sources(${target} PRIVATE ${base}/embedded.cpp)
  # The PNG bytes would be written out a second time as debug information.
  set_source_files_properties(${base}/embedded.cpp PROPERTIES COMPILE_OPTIONS "-g0")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES
    ORVEX_PICTURES_GENERATOR ${generator}
    ORVEX_PICTURES_DIR ${drawn}
    ORVEX_PICTURES_RESOURCES_DIR "${ARG_RESOURCES_DIR}")
endfunction()
