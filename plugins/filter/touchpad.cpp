#include "touchpad.h"

#include <algorithm>

#include "gui/bitmap.h"

namespace orvex::filter {

using gui::CPoint;
using gui::CRect;

CTouchPad::CTouchPad(const CRect& size, gui::CControlListener* listener, long tag, gui::CBitmap* background,
                     gui::CBitmap* handle, const CPoint&)
    : CControl(size, listener, tag, background) {
    value = 0.5f;
    defaultValue = 0.5f;
    backOffset = CPoint(0, 0);
    setHandleBitmap(handle);
}

// The frame ends a drag (onMouseCancelled) before it deletes its views.
CTouchPad::~CTouchPad() { setHandleBitmap(nullptr); }

void CTouchPad::setHandleBitmap(gui::CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (handleBitmap) handleBitmap->forget();
    handleBitmap = bitmap;
}

void CTouchPad::valueToPoint(CPoint& point) const {
    const int handleWidth = handleBitmap ? handleBitmap->getWidth() : 0;
    const int handleHeight = handleBitmap ? handleBitmap->getHeight() : 0;
    point.h = static_cast<int>(static_cast<float>(size.width() - handleWidth) * xValue + static_cast<float>(size.left));
    point.v = static_cast<int>(static_cast<float>(size.height() - handleHeight) * yValue + static_cast<float>(size.top));
}

namespace {

// The share of `span` that `offset` covers, held to 0..1; a pad no larger than its
// handle has no travel and stays at 0.
float travelled(int offset, int span) {
    if (span <= 0) return 0.0f;
    return std::max(0.0f, static_cast<float>(std::min(span, offset)) / static_cast<float>(span));
}

}  // namespace

float CTouchPad::valueFromPoint(const CPoint& point) {
    const int handleWidth = handleBitmap ? handleBitmap->getWidth() : 0;
    const int handleHeight = handleBitmap ? handleBitmap->getHeight() : 0;
    xValue = travelled(point.h - size.left, size.width() - handleWidth);
    yValue = travelled(point.v - size.top, size.height() - handleHeight);
    return (xValue + yValue) * 0.5f;
}

void CTouchPad::draw(gui::CDrawContext* context) {
    if (background) {
        if (transparencyEnabled)
            background->drawTransparent(context, size, backOffset);
        else
            background->draw(context, size, backOffset);
    }
    drawHandle(context);
    setDirty(false);
}

void CTouchPad::drawHandle(gui::CDrawContext* context) {
    if (!handleBitmap) return;
    CPoint at;
    valueToPoint(at);
    handleBitmap->drawTransparent(
        context, CRect(at.h, at.v, at.h + handleBitmap->getWidth(), at.v + handleBitmap->getHeight()), CPoint(0, 0));
}

void CTouchPad::place(gui::CDrawContext* context, float x, float y, float mean) {
    const bool moved = x != xValue || y != yValue;
    xValue = x;
    yValue = y;
    value = mean;
    if (moved) setDirty(true);
    notifyIfDirty(context);
}

void CTouchPad::track(gui::CDrawContext* context, const CPoint& where) {
    const float x = xValue;
    const float y = yValue;
    const float mean = valueFromPoint(where);
    // valueFromPoint has stored the new position; compare against the old one.
    const float newX = xValue;
    const float newY = yValue;
    xValue = x;
    yValue = y;
    place(context, newX, newY, mean);
}

bool CTouchPad::mouse(gui::CDrawContext* context, CPoint& where, int buttons) {
    if (!mouseEnabled || !(buttons & gui::kLButton) || !handleBitmap) return false;
    if (buttons == (gui::kLButton | gui::kCommand)) {
        place(context, defaultValue, defaultValue, defaultValue);
        return false;
    }
    finishDrag();
    dragging = true;
    beginEdit();
    track(context, where);
    return true;
}

void CTouchPad::onMouseMoved(gui::CDrawContext* context, CPoint& where, int) {
    if (dragging) track(context, where);
}

void CTouchPad::onMouseUp(gui::CDrawContext*, CPoint&, int) { finishDrag(); }

void CTouchPad::onMouseCancelled(gui::CDrawContext*) { finishDrag(); }

void CTouchPad::finishDrag() {
    if (!dragging) return;
    dragging = false;
    endEdit();
}

}  // namespace orvex::filter
