// Points, rectangles and colours of the editor toolkit, in frame pixels.
#pragma once

#include <algorithm>
#include <cstdint>

namespace orvex::gui {

struct CPoint {
    int h = 0;
    int v = 0;
    CPoint() = default;
    CPoint(int h, int v) : h(h), v(v) {}
    bool operator==(const CPoint&) const = default;
    CPoint& offset(int dh, int dv) {
        h += dh;
        v += dv;
        return *this;
    }
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    CRect() = default;
    CRect(int left, int top, int right, int bottom) : left(left), top(top), right(right), bottom(bottom) {}
    bool operator==(const CRect&) const = default;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool pointInside(const CPoint& p) const { return p.h >= left && p.h < right && p.v >= top && p.v < bottom; }
    CRect& offset(int dh, int dv) {
        left += dh;
        right += dh;
        top += dv;
        bottom += dv;
        return *this;
    }
    CRect& moveTo(int h, int v) { return offset(h - left, v - top); }
    // The part both share (empty when they do not meet).
    CRect intersection(const CRect& other) const {
        CRect r(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom));
        if (r.isEmpty()) r = CRect(r.left, r.top, r.left, r.top);
        return r;
    }
    CRect unionWith(const CRect& other) const {
        if (isEmpty()) return other;
        if (other.isEmpty()) return *this;
        return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                std::max(bottom, other.bottom)};
    }
};

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t unused = 0;
    bool operator==(const CColor&) const = default;
};

inline constexpr CColor kWhiteCColor{255, 255, 255, 0};
inline constexpr CColor kBlackCColor{0, 0, 0, 0};
inline constexpr CColor kGreyCColor{127, 127, 127, 0};
inline constexpr CColor kRedCColor{255, 0, 0, 0};
inline constexpr CColor kGreenCColor{0, 255, 0, 0};
inline constexpr CColor kBlueCColor{0, 0, 255, 0};
inline constexpr CColor kTransparentCColor{255, 255, 255, 0};

// Mouse buttons and modifiers as the controls read them.
enum MouseButton : int {
    kLButton = 1,
    kMButton = 2,
    kRButton = 4,
    kShift = 8,
    kCommand = 16,     // with the left button alone it resets a control to its default
    kOption = 32,
    kControlKey = 64,  // a left click with it reads as a right click
    kDoubleClick = 128,
};

}  // namespace orvex::gui
