// The editor pictures compiled into a bundle, so that a lone .so is complete.
#pragma once

#include <span>

namespace orvex::gui {

// The PNG bytes of picture `number` compiled into this library or bundle; empty when it has none.
std::span<const unsigned char> embeddedPicture(int number);

}  // namespace orvex::gui
