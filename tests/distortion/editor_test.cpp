// The distortion's editor, offscreen: every control where it belongs with its tag and
// first value, what the controls send the effect, and how the effect's changes come
// back to the controls at the next idle.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugins/distortion/editor.h"

using namespace orvex;
using namespace orvex::distortion;
using namespace orvex::gui;

namespace {

struct Automation {
    VstInt32 index;
    float value;
};
std::vector<Automation> gAutomation;

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterAutomate) gAutomation.push_back({index, opt});
    return 0;
}

enum Kind { kSoloButton, kReadOut, kLargeKnob, kSmallKnob, kTypeMenu, kCurves };
struct Expected {
    Kind kind;
    long tag;
    int parameter;  // whose value it shows first
    CRect rect;
};
// In the order added to the frame.
const Expected kControls[] = {
    {kSoloButton, kLowSolo, kLowSolo, {179, 299, 205, 313}},
    {kSoloButton, kMidSolo, kMidSolo, {350, 299, 376, 313}},
    {kSoloButton, kHighSolo, kHighSolo, {521, 299, 547, 313}},
    {kReadOut, 0, kLowFreq, {66, 156, 102, 170}},
    {kReadOut, 0, kMidFreq, {237, 156, 273, 170}},
    {kReadOut, 0, kHighFreq, {408, 156, 442, 170}},
    {kLargeKnob, kLowFreq, kLowFreq, {73, 195, 95, 217}},
    {kLargeKnob, kMidFreq, kMidFreq, {244, 195, 266, 217}},
    {kLargeKnob, kHighFreq, kHighFreq, {415, 195, 437, 217}},
    {kLargeKnob, kLowInputLevel, kLowInputLevel, {163, 169, 185, 191}},
    {kLargeKnob, kMidInputLevel, kMidInputLevel, {334, 169, 356, 191}},
    {kLargeKnob, kHighInputLevel, kHighInputLevel, {505, 169, 527, 191}},
    {kLargeKnob, kLowDrive, kLowDrive, {73, 265, 95, 287}},
    {kLargeKnob, kMidDrive, kMidDrive, {244, 265, 266, 287}},
    {kLargeKnob, kHighDrive, kHighDrive, {415, 265, 437, 287}},
    {kSmallKnob, kMix, kMix, {493, 36, 511, 54}},
    {kSmallKnob, kLowOutputLevel, kLowOutputLevel, {165, 245, 183, 263}},
    {kSmallKnob, kMidOutputLevel, kMidOutputLevel, {336, 245, 354, 263}},
    {kSmallKnob, kHighOutputLevel, kHighOutputLevel, {507, 245, 525, 263}},
    {kTypeMenu, kLowType, kLowType, {95, 346, 163, 362}},
    {kTypeMenu, kMidType, kMidType, {266, 346, 334, 362}},
    {kTypeMenu, kHighType, kHighType, {437, 346, 505, 362}},
    {kCurves, 250, -1, {152, 46, 448, 128}},
};

// The entries and what choosing each sends.
const char* const kEntries[] = {" Anihilator", " Soft shaper", " Tubetek",    " Slaughter",  " Destroy",
                                " Digitron",   " Quantize 16", " Quantize 12", " Quantize 8", " Quantize 4",
                                " Top side",   " Intimdator",  " Violator",    " Bypass"};
const float kSent[] = {0.0f, 0.08f, 0.15f, 0.23f, 0.31f, 0.38f, 0.46f, 0.54f, 0.62f, 0.69f, 0.77f, 0.85f, 0.92f, 1.0f};

CPoint centre(const CRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

struct DistortionEditor : ::testing::Test {
    std::unique_ptr<ADelayEdit> effect = std::make_unique<ADelayEdit>(recordingHost);
    ADEditor* editor = static_cast<ADEditor*>(effect->getEditor());

    void SetUp() override { gAutomation.clear(); }
    CFrame* open() {
        EXPECT_TRUE(editor->open(nullptr));
        return editor->getFrame();
    }
    template <class View>
    View* view(int order) const {
        auto* v = dynamic_cast<View*>(editor->getFrame()->getView(order));
        EXPECT_NE(v, nullptr) << "view " << order;
        return v;
    }
    COptionMenu* menu(int band) const { return view<COptionMenu>(19 + band); }
    COnOffButton* solo(int band) const { return view<COnOffButton>(band); }
    CFilterDisplay* curves() const { return view<CFilterDisplay>(22); }
    void click(const CRect& r) {
        editor->getFrame()->onMouseDown(centre(r), kLButton);
        editor->getFrame()->onMouseRelease(centre(r), 0);
    }
    void choose(int band, int entry) {
        click(kControls[19 + band].rect);
        ASSERT_EQ(editor->getFrame()->getPopup(), menu(band));
        editor->getFrame()->choosePopupEntry(entry);
    }
    std::string display(int index) {
        char text[64] = "";
        effect->getParameterDisplay(index, text);
        return text;
    }
    // The editor drawn as the host would see it, with the effect's current values.
    std::vector<uint32_t> snapshot(const char* name) {
        const std::string path = ::testing::TempDir() + name;
        EXPECT_TRUE(editor->snapshot(path.c_str()));
        cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        std::vector<uint32_t> pixels(static_cast<size_t>(w * h));
        for (int y = 0; y < h; ++y)
            std::memcpy(&pixels[static_cast<size_t>(y * w)],
                        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s), 4u * w);
        cairo_surface_destroy(s);
        std::remove(path.c_str());
        return pixels;
    }
};

TEST_F(DistortionEditor, EveryControlAtItsRectangleWithItsTagAndFirstValue) {
    // Distinct values everywhere, the middle band soloed, three different types.
    for (int p = 0; p < kNumParams; ++p) effect->setParameter(p, 0.05f + 0.045f * p);
    effect->setParameter(kMidSolo, 1.0f);
    effect->setParameter(kLowSolo, 0.0f);
    effect->setParameter(kHighSolo, 0.0f);
    const struct {
        int parameter;
        float value;
        int entry;
    } types[] = {{kLowType, 0.5f, 6}, {kMidType, 0.0f, 0}, {kHighType, 0.93f, 13}};
    for (const auto& t : types) effect->setParameter(t.parameter, t.value);

    CFrame* frame = open();
    EXPECT_EQ(frame->getSize(), CRect(0, 0, 608, 384));  // the panel's
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), 2);
    ASSERT_EQ(frame->getNbViews(), static_cast<int>(std::size(kControls)));
    int menus = 0;
    for (int i = 0; i < frame->getNbViews(); ++i) {
        const Expected& e = kControls[i];
        SCOPED_TRACE(i);
        auto* control = dynamic_cast<CControl*>(frame->getView(i));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->getSize(), e.rect);
        EXPECT_EQ(control->getTag(), e.tag);
        const float first = e.parameter >= 0 ? effect->getParameter(e.parameter) : 0.0f;
        switch (e.kind) {
            case kSoloButton:
                ASSERT_NE(dynamic_cast<COnOffButton*>(control), nullptr);
                EXPECT_EQ(control->getValue(), e.parameter == kMidSolo ? 1.0f : 0.0f);
                EXPECT_TRUE(control->getTransparency());
                break;
            case kReadOut: {
                auto* d = dynamic_cast<CParamDisplay*>(control);
                ASSERT_NE(d, nullptr);
                EXPECT_EQ(d->getValue(), first);
                EXPECT_EQ(d->getStyle(), 1);
                EXPECT_EQ(d->getFont(), 4);
                EXPECT_EQ(d->getFontColor(), (CColor{33, 87, 103, 0}));
                char text[32];
                frequencyStringConvert(first, text);
                EXPECT_EQ(d->text(), text);
                break;
            }
            case kLargeKnob:
            case kSmallKnob: {
                auto* k = dynamic_cast<CAnimKnob*>(control);
                ASSERT_NE(k, nullptr);
                EXPECT_EQ(k->getValue(), first);
                EXPECT_EQ(k->getDefaultValue(), 0.5f);
                // The strip: 127 frames of 22 pixels, or 101 of 18.
                EXPECT_EQ(k->getBackground()->getHeight(), (e.kind == kLargeKnob ? 127 : 101) * e.rect.height());
                EXPECT_EQ(k->getBackground()->getWidth(), e.rect.width());
                break;
            }
            case kTypeMenu: {
                auto* m = dynamic_cast<COptionMenu*>(control);
                ASSERT_NE(m, nullptr);
                EXPECT_EQ(m->getCurrent(), types[menus++].entry);
                ASSERT_EQ(m->getNbEntries(), 14);
                for (int entry = 0; entry < 14; ++entry) EXPECT_EQ(m->entry(entry), kEntries[entry]);
                EXPECT_EQ(m->getStyle(), kCheckStyle);
                EXPECT_EQ(m->getHoriAlign(), kCenterText);
                EXPECT_EQ(m->getFont(), 4);
                EXPECT_EQ(m->getFontColor(), (CColor{33, 87, 103, 0}));
                // One house scheme for the three, with this editor's selected text.
                ASSERT_NE(m->getScheme(), nullptr);
                EXPECT_EQ(m->getScheme(), menu(0)->getScheme());
                EXPECT_EQ(m->getScheme()->selectedTextColor, (CColor{42, 130, 157, 0}));
                break;
            }
            case kCurves: {
                auto* f = dynamic_cast<CFilterDisplay*>(control);
                ASSERT_NE(f, nullptr);
                const int slots[6] = {kLowFreq, kLowInputLevel, kMidFreq, kMidInputLevel, kHighFreq, kHighInputLevel};
                for (int slot = 0; slot < 6; ++slot) EXPECT_EQ(f->getValue(slot), effect->getParameter(slots[slot]));
                break;
            }
        }
    }
    // The pictures behind the controls: the solo button's two states of 14 pixels with
    // white left out, backgrounds as large as their controls (the high read-out shows
    // 34 pixels of the 36).
    EXPECT_EQ(solo(0)->getBackground()->getHeight(), 28);
    EXPECT_EQ(solo(0)->getBackground()->getTransparentColor(), kWhiteCColor);
    EXPECT_EQ(view<CParamDisplay>(5)->getBackground()->getWidth(), 36);
    EXPECT_EQ(view<CParamDisplay>(5)->getBackground()->getHeight(), 14);
    EXPECT_EQ(menu(2)->getBackground()->getWidth(), 68);
    EXPECT_EQ(menu(2)->getBackground()->getHeight(), 16);
    EXPECT_EQ(curves()->getBackground()->getWidth(), 296);
    EXPECT_EQ(curves()->getBackground()->getHeight(), 82);
}

TEST_F(DistortionEditor, EveryMenuEntrySendsAValueTheBlockMapsBackToThatEntry) {
    open();
    for (int entry = 0; entry < 14; ++entry) {
        SCOPED_TRACE(kEntries[entry]);
        gAutomation.clear();
        choose(kLow, entry);
        ASSERT_EQ(gAutomation.size(), 1u);
        EXPECT_EQ(gAutomation[0].index, kLowType);
        EXPECT_EQ(gAutomation[0].value, kSent[entry]);
        EXPECT_EQ(effect->getParameter(kLowType), kSent[entry]);
        // The block selects that step; the menu, told at the next idle, stays on it.
        EXPECT_EQ(display(kLowType), entry == 13 ? "bypass" : kEntries[entry] + 1);
        editor->applyPendingChanges();
        EXPECT_EQ(menu(kLow)->getCurrent(), entry);
    }
    // " Bypass" is 1.0 and " Quantize 16" 0.46, the block's step 6.
    EXPECT_EQ(kSent[13], 1.0f);
    EXPECT_EQ(kSent[6], 0.46f);
}

TEST_F(DistortionEditor, HostChangesReachTheControlsOnlyAtTheNextIdle) {
    open();
    struct Case {
        int parameter;
        float value;
        std::function<float()> shown;
    };
    const Case cases[] = {
        {kLowType, 0.5f, [&] { return static_cast<float>(menu(kLow)->getCurrent()); }},
        {kMidFreq, 0.9f, [&] { return view<CAnimKnob>(7)->getValue(); }},
        {kMidFreq, 0.8f, [&] { return view<CParamDisplay>(4)->getValue(); }},
        {kMidFreq, 0.7f, [&] { return curves()->getValue(2); }},
        {kHighInputLevel, 0.3f, [&] { return curves()->getValue(5); }},
        {kLowOutputLevel, 0.8f, [&] { return view<CAnimKnob>(16)->getValue(); }},
        {kHighSolo, 1.0f, [&] { return solo(kHigh)->getValue(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter);
        const float before = c.shown();
        effect->setParameter(c.parameter, c.value);  // as the host sets it
        EXPECT_EQ(c.shown(), before);
        editor->applyPendingChanges();
        EXPECT_EQ(c.shown(), c.parameter == kLowType ? 6.0f : c.value);
    }
    EXPECT_EQ(menu(kLow)->text(), " Quantize 16");
    EXPECT_EQ(view<CParamDisplay>(4)->text(), "3.31K");
}

TEST_F(DistortionEditor, ClickingTheMidSoloWhileTheLowIsOnLightsOnlyTheMid) {
    effect->setParameter(kLowSolo, 1.0f);
    open();
    ASSERT_EQ(solo(kLow)->getValue(), 1.0f);
    click(kControls[kMid].rect);
    EXPECT_EQ(effect->getParameter(kLowSolo), 0.0f);  // the effect's rule
    EXPECT_EQ(effect->getParameter(kMidSolo), 1.0f);
    ASSERT_EQ(gAutomation.size(), 1u);
    EXPECT_EQ(gAutomation[0].index, kMidSolo);
    editor->applyPendingChanges();
    EXPECT_EQ(solo(kLow)->getValue(), 0.0f);
    EXPECT_EQ(solo(kMid)->getValue(), 1.0f);
    EXPECT_EQ(solo(kHigh)->getValue(), 0.0f);
    EXPECT_EQ(curves()->frontMark(CFilterDisplay::kBandPass), 1.0f);
    EXPECT_TRUE(curves()->isDirty());
    // Drawn: the low button shows its off state again, as the high one does.
    const auto pixels = snapshot("solo.png");
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * 608 + x)]; };
    bool midDiffers = false;
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 26; ++x) {
            EXPECT_EQ(at(179 + x, 299 + y), at(521 + x, 299 + y));
            midDiffers = midDiffers || at(350 + x, 299 + y) != at(521 + x, 299 + y);
        }
    EXPECT_TRUE(midDiffers);
}

TEST_F(DistortionEditor, NothingWhileClosedAndAnUpdateForAnyIndexWhileOpen) {
    editor->setParameter(kLowDrive, 0.3f);
    EXPECT_FALSE(editor->isUpdateRequested());
    open();
    editor->close();
    editor->idle();
    ASSERT_FALSE(editor->isUpdateRequested());
    editor->setParameter(kLowSolo, 1.0f);
    editor->setParameter(kLowType, 1.0f);
    EXPECT_FALSE(editor->isUpdateRequested());
    open();
    editor->idle();
    for (VstInt32 index : {VstInt32{kLowDrive}, VstInt32{19}, VstInt32{250}, VstInt32{-1}}) {
        SCOPED_TRACE(index);
        ASSERT_FALSE(editor->isUpdateRequested());
        editor->setParameter(index, 0.0f);
        EXPECT_TRUE(editor->isUpdateRequested());
        editor->idle();
    }
}

TEST_F(DistortionEditor, ControlsSendTheirValuesAndTheFilterDisplayNothing) {
    CFrame* frame = open();
    // Dragging the mix knob 20 pixels up: a two-hundredth per pixel.
    const CPoint mix = centre(kControls[15].rect);
    frame->onMouseDown(mix, kLButton);
    frame->onMouseMove(CPoint(mix).offset(0, -20), kLButton);
    frame->onMouseRelease(CPoint(mix).offset(0, -20), 0);
    ASSERT_EQ(gAutomation.size(), 1u);
    EXPECT_EQ(gAutomation[0].index, kMix);
    EXPECT_NEAR(gAutomation[0].value, 0.6f, 1e-6f);
    EXPECT_EQ(effect->getParameter(kMix), gAutomation[0].value);

    // A click on the filter display only brings a curve forward; told of a change, the
    // editor sends nothing either.
    gAutomation.clear();
    click(kControls[22].rect);
    editor->valueChanged(frame->context(), curves());
    EXPECT_TRUE(gAutomation.empty());
    EXPECT_NEAR(effect->getParameter(kMix), 0.6f, 1e-6f);
}

// Habits beyond the panel's own gestures: a knob without a read-out shows its value
// beside it while dragged, and leaves the panel as it was; a double click sets the
// parameter's default from its row.
TEST_F(DistortionEditor, ADraggedKnobShowsItsValueAndADoubleClickSetsItsDefault) {
    CFrame* frame = open();
    frame->draw();
    auto pixels = [&] {
        cairo_surface_t* s = frame->getSurface();
        cairo_surface_flush(s);
        const auto* data = cairo_image_surface_get_data(s);
        return std::vector<unsigned char>(data, data + cairo_image_surface_get_stride(s) * cairo_image_surface_get_height(s));
    };
    const auto before = pixels();
    const int views = frame->getNbViews();

    const CPoint drive = centre(kControls[12].rect);
    frame->onMouseDown(drive, kLButton);
    frame->onMouseMove(CPoint(drive).offset(0, -30), kLButton);
    auto* tip = dynamic_cast<const CValueTip*>(frame->getView(views));
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip, editor->valueTip());
    const std::string shown = display(kLowDrive);
    EXPECT_NE(tip->getText().find(shown.substr(shown.find_first_not_of(' '))), std::string::npos) << tip->getText();
    const CRect under = tip->getSize();
    EXPECT_LE(under.bottom, kControls[12].rect.top);
    const int stride = cairo_image_surface_get_stride(frame->getSurface());
    auto area = [&](const std::vector<unsigned char>& p) {
        std::vector<unsigned char> part;
        for (int y = under.top; y < under.bottom; ++y)
            part.insert(part.end(), p.begin() + y * stride + 4 * under.left, p.begin() + y * stride + 4 * under.right);
        return part;
    };
    EXPECT_NE(area(pixels()), area(before));
    frame->onMouseRelease(CPoint(drive).offset(0, -30), 0);
    EXPECT_EQ(frame->getNbViews(), views);
    EXPECT_EQ(editor->valueTip(), nullptr);
    EXPECT_EQ(area(pixels()), area(before));

    // The frequency has its own read-out: no label.
    frame->onMouseDown(centre(kControls[6].rect), kLButton);
    frame->onMouseMove(CPoint(centre(kControls[6].rect)).offset(0, -5), kLButton);
    EXPECT_EQ(editor->valueTip(), nullptr);
    frame->onMouseRelease(CPoint(centre(kControls[6].rect)).offset(0, -5), 0);

    gAutomation.clear();
    frame->onMouseDown(drive, kLButton | kDoubleClick);
    frame->onMouseRelease(drive, 0);
    ASSERT_EQ(gAutomation.size(), 1u);
    EXPECT_EQ(gAutomation[0].index, kLowDrive);
    EXPECT_FLOAT_EQ(effect->getParameter(kLowDrive), ADelay::kParameters[kLowDrive].defaultValue);
}

TEST_F(DistortionEditor, EveryKnobShowsItsValueInsideItsRectangle) {
    for (const Expected& e : kControls) {
        if (e.kind != kLargeKnob && e.kind != kSmallKnob) continue;
        SCOPED_TRACE(e.tag);
        effect->setParameter(e.parameter, 0.0f);
        const auto low = snapshot("low.png");
        effect->setParameter(e.parameter, 1.0f);
        const auto high = snapshot("high.png");
        effect->setParameter(e.parameter, 0.5f);
        ASSERT_EQ(low.size(), high.size());
        int differing = 0;
        for (int y = e.rect.top; y < e.rect.bottom; ++y)
            for (int x = e.rect.left; x < e.rect.right; ++x)
                differing += low[static_cast<size_t>(y * 608 + x)] != high[static_cast<size_t>(y * 608 + x)];
        EXPECT_GT(differing, e.rect.width() * e.rect.height() / 10);
    }
}

TEST_F(DistortionEditor, ControlPicturesMatchThePanelAtTheirCorners) {
    // Each picture was drawn over the panel under one of its controls: no square shows
    // around any of them (the rounded fields differ by their corners' antialiasing).
    const auto pixels = snapshot("corners.png");
    const std::unique_ptr<CBitmap, void (*)(CBitmap*)> picture(new CBitmap(128), [](CBitmap* b) { b->forget(); });
    const CBitmap& panel = *picture;
    ASSERT_EQ(panel.getWidth() * panel.getHeight(), static_cast<int>(pixels.size()));
    for (const Expected& e : kControls) {
        SCOPED_TRACE(e.tag);
        for (const CPoint& p : {CPoint(e.rect.left, e.rect.top), CPoint(e.rect.right - 1, e.rect.top),
                                CPoint(e.rect.left, e.rect.bottom - 1), CPoint(e.rect.right - 1, e.rect.bottom - 1)}) {
            const uint32_t drawn = pixels[static_cast<size_t>(p.v * panel.getWidth() + p.h)];
            const CColor under = panel.pixel(p.h, p.v);
            EXPECT_NEAR(static_cast<int>((drawn >> 16) & 255), under.red, 2);
            EXPECT_NEAR(static_cast<int>((drawn >> 8) & 255), under.green, 2);
            EXPECT_NEAR(static_cast<int>(drawn & 255), under.blue, 2);
        }
    }
}

}  // namespace
