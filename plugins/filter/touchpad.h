// The editor's XY pad: a handle dragged over a background in two dimensions, holding x
// (0 at the left edge, 1 where the handle touches the right edge) and y (0 at the top,
// 1 where it touches the bottom). Its own value is the mean of the two; the listener
// reads `getXValue` and `getYValue`.
//
// Threads: editor thread only.
#pragma once

#include "gui/view.h"

namespace orvex::filter {

class CTouchPad : public gui::CControl {
public:
    // Holds a reference to `handle` (when given); `offset` is not used, the background
    // is drawn from its top-left corner.
    CTouchPad(const gui::CRect& size, gui::CControlListener* listener, long tag, gui::CBitmap* background,
              gui::CBitmap* handle, const gui::CPoint& offset = {});
    ~CTouchPad() override;

    void draw(gui::CDrawContext* context) override;
    // A left press starts a drag (the handle's corner follows the pointer); left with
    // command puts both values back to the default. Without a handle picture the pad
    // has no size to track and takes no press.
    bool mouse(gui::CDrawContext* context, gui::CPoint& where, int buttons) override;
    void onMouseMoved(gui::CDrawContext* context, gui::CPoint& where, int buttons) override;
    void onMouseUp(gui::CDrawContext* context, gui::CPoint& where, int buttons) override;
    void onMouseCancelled(gui::CDrawContext* context) override;

    virtual void drawHandle(gui::CDrawContext* context);
    // The handle's top-left corner for the current values.
    virtual void valueToPoint(gui::CPoint& point) const;
    // Sets x and y from the handle corner at `point` (held inside the pad) and returns
    // their mean.
    virtual float valueFromPoint(const gui::CPoint& point);
    virtual void setHandleBitmap(gui::CBitmap* bitmap);
    virtual float getXValue() const { return xValue; }
    virtual float getYValue() const { return yValue; }
    // Only store: the caller marks the pad dirty when it should be redrawn.
    virtual void setXValue(float v) { xValue = v; }
    virtual void setYValue(float v) { yValue = v; }

    gui::CBitmap* getHandleBitmap() const { return handleBitmap; }

private:
    // Moves the handle to `where` and tells the listener when it moved.
    void track(gui::CDrawContext* context, const gui::CPoint& where);
    // Both values to `x`, `y` and the mean; marks the pad changed when either moved
    // (the mean alone would miss a move along the other diagonal).
    void place(gui::CDrawContext* context, float x, float y, float mean);
    void finishDrag();

    gui::CBitmap* handleBitmap = nullptr;
    float xValue = 0.5f;
    float yValue = 0.5f;
    bool dragging = false;
};

}  // namespace orvex::filter
