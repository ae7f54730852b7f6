// The editor pictures compiled into a bundle, so that a lone .so is complete.
#pragma once

#include <span>

namespace orvex::gui {

// The PNG bytes of picture `number` compiled into this library or bundle; empty when it has none.
std::span<const unsigned char> embeddedPicture(int number);
// The same picture drawn at `scale` (1, 2 or 3) times the pixels each way; empty when
// this library has no drawing of it at that scale.
std::span<const unsigned char> embeddedPicture(int number, int scale);

}  // namespace orvex::gui
