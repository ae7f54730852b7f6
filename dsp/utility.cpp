#include "utility.h"

namespace orvex {

void COnOff::setOnOff(float value) {
    on = !(value < 0.5f);
    copyText(text, on ? "On" : "Off", sizeof text);
}

}  // namespace orvex
