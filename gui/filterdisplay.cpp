#include "filterdisplay.h"

#include <algorithm>

namespace orvex::gui {

CFilterDisplay::CFilterDisplay(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

CFilterDisplay::~CFilterDisplay() {
    for (CBitmap* curve : curves)
        if (curve) curve->forget();
}

void CFilterDisplay::addFilterBitmap(int index, CBitmap* bitmap) {
    if (index < 0 || index > 2) return;
    CBitmap*& slot = curves[static_cast<std::size_t>(index)];
    if (slot) slot->forget();
    slot = bitmap;
    if (!bitmap) return;
    bitmap->remember();
    if (index == kLowPass) lowTravelLeft = size.left + rampWidths[kLowPass] - bitmap->getWidth();
    if (index == kHighPass) highTravelLeft = size.left;
}

void CFilterDisplay::setRampWidth(int index, int width) {
    if (index >= 0 && index <= 2) rampWidths[static_cast<std::size_t>(index)] = width;
}

float CFilterDisplay::getValue(int index) const {
    return index >= 0 && index < 6 ? values[static_cast<std::size_t>(index)] : 0.0f;
}

void CFilterDisplay::setValue(float value, int index) {
    if (index < 0 || index >= 6) return;
    values[static_cast<std::size_t>(index)] = value;
    const int curve = index < 2 ? kLowPass : index < 4 ? kBandPass : kHighPass;
    place(curve);
    bringToFront(curve);
}

// Coordinates in single precision from the integer edges, truncated toward zero.
void CFilterDisplay::place(int curve) {
    const CBitmap* bitmap = curves[static_cast<std::size_t>(curve)];
    if (!bitmap) return;  // placed once its picture is there
    const float L = static_cast<float>(size.left), T = static_cast<float>(size.top);
    const float R = static_cast<float>(size.right), H = static_cast<float>(size.height());
    const int w = bitmap->getWidth(), h = bitmap->getHeight();
    float x = 0, y = 0;
    switch (curve) {
        case kLowPass:
            y = T + H * (1.0f - values[1]);
            x = L - (L - static_cast<float>(lowTravelLeft)) * (1.0f - values[0]);
            break;
        case kBandPass:
            y = T + H * (1.0f - values[3]);
            x = L + (R - static_cast<float>(w) - L) * values[2];
            break;
        default:
            y = T + H * (1.0f - values[5]);
            x = static_cast<float>(highTravelLeft) + (R - L - static_cast<float>(rampWidths[kHighPass])) * values[4];
            break;
    }
    // Far outside the control a curve is out of sight either way; the bound keeps the
    // conversion defined for any value.
    auto whole = [](float v) { return static_cast<int>(std::clamp(v, -1e6f, 1e6f)); };
    const int xi = whole(x), yi = whole(y);
    curveRects[static_cast<std::size_t>(curve)] = CRect(xi, yi, xi + w, yi + h);
}

void CFilterDisplay::bringToFront(int curve) {
    switch (curve) {
        case kLowPass: marks = {1.0f, 2.0f, 3.0f}; break;
        case kBandPass: marks = {2.0f, 1.0f, 3.0f}; break;
        default: marks = {3.0f, 2.0f, 1.0f}; break;
    }
}

void CFilterDisplay::draw(CDrawContext* context) {
    if (background) {
        if (transparencyEnabled)
            background->drawTransparent(context, size);
        else
            background->draw(context, size);
    }
    drawFilter(context);
    setDirty(false);
}

void CFilterDisplay::drawFilter(CDrawContext* context) {
    if (!context) return;
    context->setClipRect(size);
    if (marks[kLowPass] == 1.0f) {
        drawHighPassFilter(context);
        drawBandPassFilter(context);
        drawLowPassFilter(context);
    } else if (marks[kBandPass] == 1.0f) {
        drawHighPassFilter(context);
        drawLowPassFilter(context);
        drawBandPassFilter(context);
    } else if (marks[kHighPass] == 1.0f) {
        drawLowPassFilter(context);
        drawBandPassFilter(context);
        drawHighPassFilter(context);
    }
    context->resetClipRect();
}

void CFilterDisplay::drawCurve(CDrawContext* context, int curve) {
    if (CBitmap* bitmap = curves[static_cast<std::size_t>(curve)])
        bitmap->drawTransparent(context, curveRects[static_cast<std::size_t>(curve)]);
}

void CFilterDisplay::drawLowPassFilter(CDrawContext* context) { drawCurve(context, kLowPass); }
void CFilterDisplay::drawHighPassFilter(CDrawContext* context) { drawCurve(context, kHighPass); }
void CFilterDisplay::drawBandPassFilter(CDrawContext* context) { drawCurve(context, kBandPass); }

bool CFilterDisplay::mouse(CDrawContext* context, CPoint& where, int buttons) {
    if (!mouseEnabled || buttons != kLButton) return false;
    for (int curve : {kBandPass, kLowPass, kHighPass}) {
        if (curveRects[static_cast<std::size_t>(curve)].pointInside(where)) {
            bringToFront(curve);
            break;
        }
    }
    draw(context);
    return false;
}

}  // namespace orvex::gui
