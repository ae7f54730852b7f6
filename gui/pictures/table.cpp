// What a plug-in's picture table module (orvex_add_pictures) exports: the pictures
// compiled into the plug-in, under a plain name for dlsym, so that one process can load
// the tables of several plug-ins side by side (each .so keeps its embeddedPicture
// hidden). Any thread: the table is constant.
#include <cstddef>

#include "gui/pictures.h"

extern "C" __attribute__((visibility("default"))) const unsigned char* orvex_embedded_picture(int number, int scale,
                                                                                            std::size_t* size) {
    const auto bytes = orvex::gui::embeddedPicture(number, scale);
    *size = bytes.size();
    return bytes.data();
}
