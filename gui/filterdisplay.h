// Three filter curves (low-pass, band-pass, high-pass) over a background, each a
// picture that slides with its filter's frequency and level, clipped to the control;
// a click brings a curve to the front. It never changes a parameter.
//
// Threads: editor thread only.
#pragma once

#include <array>

#include "view.h"

namespace orvex::gui {

class CFilterDisplay : public CControl {
public:
    enum Curve { kLowPass = 0, kBandPass = 1, kHighPass = 2 };

    CFilterDisplay(const CRect& size, CControlListener* listener, long tag, CBitmap* background);
    ~CFilterDisplay() override;

    void draw(CDrawContext* context) override;
    bool mouse(CDrawContext* context, CPoint& where, int buttons) override;

    using CControl::getValue;
    using CControl::setValue;
    // 0/1 low-pass position/level, 2/3 band-pass, 4/5 high-pass; places that curve and
    // brings it to the front. The caller marks the control dirty.
    virtual void setValue(float value, int index);
    virtual float getValue(int index) const;
    virtual void addFilterBitmap(int index, CBitmap* bitmap);
    virtual void setRampWidth(int index, int width);
    virtual void drawFilter(CDrawContext* context);
    virtual void drawLowPassFilter(CDrawContext* context);
    virtual void drawHighPassFilter(CDrawContext* context);
    virtual void drawBandPassFilter(CDrawContext* context);

    const CRect& curveRect(int curve) const { return curveRects[static_cast<std::size_t>(curve)]; }
    float frontMark(int curve) const { return marks[static_cast<std::size_t>(curve)]; }

private:
    void place(int curve);
    void bringToFront(int curve);
    void drawCurve(CDrawContext* context, int curve);

    std::array<CBitmap*, 3> curves{};
    std::array<float, 6> values{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    std::array<int, 3> rampWidths{18, 18, 18};
    int lowTravelLeft = 0;
    int highTravelLeft = 0;
    std::array<CRect, 3> curveRects{};
    std::array<float, 3> marks{2.0f, 1.0f, 3.0f};
};

}  // namespace orvex::gui
