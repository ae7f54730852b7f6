# cmake -DFROM=<drawn> -DTO=<Resources> -P OrvexCopyPictures.cmake
#
# Brings a bundle's Resources folder in the build to what the generator drew: copies
# every picture of FROM whose bytes differ, and removes the pictures (bmpNNNNN.png,
# bmpNNNNN@Kx.png) that it no longer draws. Files of any other name are left alone.
cmake_minimum_required(VERSION 3.20)
if(NOT FROM OR NOT TO)
  message(FATAL_ERROR "OrvexCopyPictures.cmake: FROM and TO are needed")
endif()
set(picture_name "^bmp[0-9][0-9][0-9][0-9][0-9](@[1-9]x)?\\.png$")
file(MAKE_DIRECTORY ${TO})
file(GLOB drawn RELATIVE ${FROM} ${FROM}/bmp*.png)
file(GLOB present RELATIVE ${TO} ${TO}/bmp*.png)
foreach(name IN LISTS present)
  if(name MATCHES "${picture_name}" AND NOT name IN_LIST drawn)
    file(REMOVE ${TO}/${name})
  endif()
endforeach()
foreach(name IN LISTS drawn)
  configure_file(${FROM}/${name} ${TO}/${name} COPYONLY)
endforeach()
