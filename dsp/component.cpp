#include "component.h"

#include <cmath>
#include <cstring>

namespace orvex {

void copyText(char* dest, const char* src, int capacity) {
    if (!dest || capacity <= 0) return;
    if (!src) src = "";
    int i = 0;
    for (; i < capacity - 1 && src[i]; ++i) dest[i] = src[i];
    dest[i] = 0;
}

void floatToString(float value, char* text) {
    constexpr int kWidth = 8;
    double v = value;
    if (std::isnan(v)) {  // no digit loop can show it; keep the text short and honest
        std::strcpy(text, "NaN");
        return;
    }
    bool negative = false;
    int count = 0;
    if (v < 0) {
        negative = true;
        v = -v;
        count = 1;
        if (v > 9999999.0) {
            std::strcpy(text, "Huge!");
            return;
        }
    } else if (v > 99999999.0) {
        std::strcpy(text, "Huge!");
        return;
    }

    ++count;  // the decimal point
    char digits[kWidth + 1];
    int numDigits = 0;
    double integer = std::floor(v);
    do {
        digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
        integer = std::floor(integer / 10.0);
        ++count;
    } while (integer >= 1.0 && count < kWidth);

    char* out = text;
    if (negative) *out++ = '-';
    while (numDigits > 0) *out++ = digits[--numDigits];
    *out++ = '.';

    const int fractionDigits = kWidth - count;
    if (fractionDigits > 0) {
        double running = (v - std::floor(v)) * std::pow(10.0, fractionDigits);
        for (int i = fractionDigits - 1; i >= 0; --i) {
            int digit = 0;
            if (running > 0) {
                digit = static_cast<int>(std::fmod(running, 10.0));
                running /= 10.0;
            }
            out[i] = static_cast<char>('0' + digit);
        }
        out += fractionDigits;
    }
    *out = 0;
}

}  // namespace orvex
