// The Orvex Space editor offscreen, on the effect itself: every control where it
// belongs with its first value, menus and the typed tempo back to parameters, the
// effect's changes and the host tempo reaching the controls at idle, solo buttons and
// curves, and pictures that show the knobs.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/housestyle.h"
#include "plugins/panner/adelay.h"
#include "plugins/panner/editor.h"

using namespace orvex::gui;
using namespace orvex::panner;

namespace {

// The host: its tempo while `tempo` is set, and the automation it is sent.
struct Host {
    static inline VstTimeInfo time{};
    static inline bool hasTempo = false;
    static inline std::vector<std::pair<VstInt32, float>> automated;
    static VstIntPtr call(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
        if (opcode == audioMasterVersion) return 2400;
        if (opcode == audioMasterGetTime) return hasTempo ? reinterpret_cast<VstIntPtr>(&time) : 0;
        if (opcode == audioMasterAutomate) automated.emplace_back(index, opt);
        return 0;
    }
};

enum class Kind { button, text, display, knob, menu, filter };

Kind kindOf(CView* view) {
    if (dynamic_cast<COnOffButton*>(view)) return Kind::button;
    if (dynamic_cast<CTextEdit*>(view)) return Kind::text;
    if (dynamic_cast<COptionMenu*>(view)) return Kind::menu;
    if (dynamic_cast<CParamDisplay*>(view)) return Kind::display;
    if (dynamic_cast<CAnimKnob*>(view)) return Kind::knob;
    if (dynamic_cast<CFilterDisplay*>(view)) return Kind::filter;
    ADD_FAILURE() << "a view of an unexpected kind";
    return Kind::filter;
}

// Settings that give every control a value of its own before the editor opens.
const std::pair<VstInt32, float> kSettings[] = {
    {kLowFreq, 0.2f},      {kMidFreq, 0.45f},     {kHighFreq, 0.8f},     {kLowLfoDepth, 0.1f},
    {kMidLfoDepth, 0.3f},  {kHighLfoDepth, 0.9f}, {kLowLevel, 0.25f},    {kMidLevel, 0.6f},
    {kHighLevel, 0.95f},   {kMidSolo, 1.0f},      {kBpm, 0.35f},         {kMix, 0.65f},
    {kLowDiv, 0.7f},       {kMidDiv, 0.2f},       {kHighDiv, 1.0f},      {kLowModType, 0.7f},
    {kMidModType, 0.0f},   {kHighModType, 0.45f},
};

struct SpaceEditor : ::testing::Test {
    std::unique_ptr<ADelayEdit> effect;
    ADEditor* editor = nullptr;
    CFrame* frame = nullptr;

    void SetUp() override {
        Host::hasTempo = false;
        Host::automated.clear();
        effect = std::make_unique<ADelayEdit>(&Host::call);
        editor = static_cast<ADEditor*>(effect->getEditor());
        ASSERT_NE(editor, nullptr);
    }
    void TearDown() override {
        if (editor->getFrame()) editor->close();
    }
    void open() {
        ASSERT_TRUE(editor->open(nullptr));
        frame = editor->getFrame();
        ASSERT_NE(frame, nullptr);
    }
    template <class T>
    T* view(int index) const {
        return dynamic_cast<T*>(frame->getView(index));
    }
    void click(int viewIndex) {
        const CRect r = frame->getView(viewIndex)->getSize();
        frame->onMouseDown(CPoint(r.left + 2, r.top + 2), kLButton);
        frame->onMouseRelease(CPoint(r.left + 2, r.top + 2), 0);
    }
    void typeTempo(const char* text) {
        click(kTempoTextView);
        auto* field = view<CTextEdit>(kTempoTextView);
        ASSERT_TRUE(field->isEditing());
        for (int i = 0; i < 16; ++i) field->backspace();
        field->type(text);
        field->commit();
    }
    void process() {
        float left[32] = {}, right[32] = {}, outLeft[32], outRight[32];
        float* in[] = {left, right};
        float* out[] = {outLeft, outRight};
        effect->processReplacing(in, out, 32);
    }

    // Positions in the frame (the order the editor adds its controls).
    static constexpr int kSoloViews[3] = {0, 1, 2};
    static constexpr int kTempoTextView = 3;
    static constexpr int kLowLevelView = 10;
    static constexpr int kMixView = 17;
    static constexpr int kLowDivisionView = 18;
    static constexpr int kLowWaveformView = 21;
    static constexpr int kFilterView = 24;
};

// Every pixel of the frame, to compare two pictures of it.
std::vector<uint32_t> pixels(CFrame& frame) {
    frame.draw();
    cairo_surface_t* s = frame.getSurface();
    cairo_surface_flush(s);
    const int w = cairo_image_surface_get_width(s);
    const int h = cairo_image_surface_get_height(s);
    std::vector<uint32_t> out(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        std::memcpy(&out[static_cast<std::size_t>(y * w)],
                    cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s), 4 * w);
    return out;
}

}  // namespace

TEST_F(SpaceEditor, EveryControlWhereItBelongsWithItsFirstValue) {
    for (auto [index, value] : kSettings) effect->setParameter(index, value);
    open();
    // The rectangles that follow the pictures' sizes.
    CBitmap* solo = new CBitmap(132);
    CBitmap* knobs = new CBitmap(129);
    const int sw = solo->getWidth(), sh = solo->getHeight() / 2, kw = knobs->getWidth();
    solo->forget();
    knobs->forget();
    EXPECT_EQ(kw, 22);

    struct Expected {
        Kind kind;
        long tag;
        CRect rect;
        float value;  // a menu's: the entry shown
        int bitmap;
    };
    const Expected expected[] = {
        {Kind::button, 7, {177, 276, 177 + sw, 276 + sh}, 0.0f, 132},  // switched off by the middle solo
        {Kind::button, 12, {327, 276, 327 + sw, 276 + sh}, 1.0f, 132},
        {Kind::button, 17, {477, 276, 477 + sw, 276 + sh}, 0.0f, 132},
        {Kind::text, 250, {50, 78, 107, 100}, 0.35f, 133},
        {Kind::display, 0, {97, 155, 133, 169}, 0.2f, 144},
        {Kind::display, 0, {247, 155, 283, 169}, 0.45f, 144},
        {Kind::display, 0, {397, 155, 433, 169}, 0.8f, 144},
        {Kind::knob, 0, {104, 195, 104 + kw, 217}, 0.2f, 129},
        {Kind::knob, 1, {254, 195, 254 + kw, 217}, 0.45f, 129},
        {Kind::knob, 2, {404, 195, 404 + kw, 217}, 0.8f, 129},
        {Kind::knob, 6, {174, 169, 174 + kw, 191}, 0.25f, 129},
        {Kind::knob, 11, {324, 169, 324 + kw, 191}, 0.6f, 129},
        {Kind::knob, 16, {474, 169, 474 + kw, 191}, 0.95f, 129},
        {Kind::knob, 3, {106, 278, 124, 296}, 0.1f, 131},
        {Kind::knob, 8, {256, 278, 274, 296}, 0.3f, 131},
        {Kind::knob, 13, {406, 278, 424, 296}, 0.9f, 131},
        {Kind::knob, 18, {69, 36, 87, 54}, 0.35f, 130},
        {Kind::knob, 19, {493, 36, 511, 54}, 0.65f, 130},
        {Kind::menu, 4, {163, 343, 207, 364}, 6, 138},  // " 1/16 bar"
        {Kind::menu, 9, {313, 343, 357, 364}, 1, 139},
        {Kind::menu, 14, {464, 343, 508, 364}, 8, 140},
        {Kind::menu, 5, {78, 343, 158, 364}, 4, 141},  // " Triangle"
        {Kind::menu, 10, {226, 343, 306, 364}, 0, 143},
        {Kind::menu, 15, {376, 343, 456, 364}, 2, 142},
        {Kind::filter, 251, {152, 46, 448, 128}, 0.0f, 134},
    };
    ASSERT_EQ(frame->getNbViews(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < frame->getNbViews(); ++i) {
        SCOPED_TRACE("view " + std::to_string(i));
        auto* control = view<CControl>(i);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(kindOf(control), expected[i].kind);
        EXPECT_EQ(control->getTag(), expected[i].tag);
        EXPECT_EQ(control->getSize(), expected[i].rect);
        ASSERT_NE(control->getBackground(), nullptr);
        EXPECT_EQ(control->getBackground()->getResourceId(), expected[i].bitmap);
        EXPECT_EQ(control->getTransparency(), expected[i].kind == Kind::button);
        if (expected[i].kind != Kind::filter) {
            EXPECT_FLOAT_EQ(control->getValue(), expected[i].value);
        }
        if (auto* text = dynamic_cast<CParamDisplay*>(control)) {
            EXPECT_EQ(text->getFont(), kHouseFont);
            EXPECT_EQ(text->getFontColor(), kHouseTextColor);
            EXPECT_EQ(text->getHoriAlign(), kCenterText);
        }
        if (expected[i].kind == Kind::knob) {
            EXPECT_FLOAT_EQ(control->getDefaultValue(), 0.5f);
        }
    }
    EXPECT_EQ(view<CControl>(0)->getBackground()->getTransparentColor(), kWhiteCColor);
    // No host tempo: the tempo of "Bpm".
    EXPECT_EQ(view<CTextEdit>(kTempoTextView)->getText(), "120.00");
    EXPECT_EQ(view<CParamDisplay>(4)->text(), "0.17K");
    // The display places the curves from the frequencies and levels; the high band's
    // curve ends in front.
    auto* filter = view<CFilterDisplay>(kFilterView);
    const float curveValues[6] = {0.2f, 0.25f, 0.45f, 0.6f, 0.8f, 0.95f};
    for (int slot = 0; slot < 6; ++slot) EXPECT_FLOAT_EQ(filter->getValue(slot), curveValues[slot]) << slot;
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kHighPass), 1.0f);
    // The menus' lists and pop-up colours.
    auto* division = view<COptionMenu>(kLowDivisionView);
    auto* waveform = view<COptionMenu>(kLowWaveformView);
    const std::vector<std::string> divisions = {" 4 bars",  " 2 bars",   " 1 bar",    " 1/2 bar", " 1/4 bar",
                                                " 1/8 bar", " 1/16 bar", " 1/32 bar", " 1/64 bar"};
    const std::vector<std::string> waveforms = {" Sin", " Saw up", " Saw down", " Square", " Triangle", " Exp(Triangle)"};
    ASSERT_EQ(division->getNbEntries(), 9);
    ASSERT_EQ(waveform->getNbEntries(), 6);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(division->entry(i), divisions[i]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(waveform->entry(i), waveforms[i]);
    EXPECT_EQ(division->getStyle(), kCheckStyle);
    ASSERT_NE(division->getScheme(), nullptr);
    EXPECT_EQ(division->getScheme(), waveform->getScheme());
    EXPECT_EQ(division->getScheme()->selectedTextColor, (CColor{42, 131, 157, 0}));
}

TEST_F(SpaceEditor, MenuEntriesSetTheirValueAndComeBackAtIdle) {
    open();
    struct Menu {
        int view;
        VstInt32 parameter;
        std::vector<float> values;
    };
    const Menu menus[] = {
        {kLowDivisionView, kLowDiv, {0.0f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 1.0f}},
        {kLowWaveformView + 2, kHighModType, {0.0f, 0.2f, 0.4f, 0.6f, 0.7f, 1.0f}},
    };
    for (const Menu& m : menus) {
        auto* menu = view<COptionMenu>(m.view);
        for (int entry = 0; entry < static_cast<int>(m.values.size()); ++entry) {
            SCOPED_TRACE("parameter " + std::to_string(m.parameter) + " entry " + std::to_string(entry));
            click(m.view);
            ASSERT_EQ(frame->getPopup(), menu);
            frame->choosePopupEntry(entry);
            EXPECT_FLOAT_EQ(effect->getParameter(m.parameter), m.values[entry]);
            ASSERT_FALSE(Host::automated.empty());
            EXPECT_EQ(Host::automated.back(), std::make_pair(m.parameter, m.values[entry]));
            // Another entry from the host, then the chosen value again: each reaches
            // the menu at the next idle, through the menu's own mapping.
            effect->setParameter(m.parameter, entry == 0 ? 1.0f : 0.0f);
            editor->idle();
            effect->setParameter(m.parameter, m.values[entry]);
            EXPECT_NE(menu->getCurrent(), entry);
            editor->idle();
            EXPECT_EQ(menu->getCurrent(), entry);
        }
    }
}

TEST_F(SpaceEditor, TypedTempoSetsBpm) {
    open();
    const std::pair<const char*, float> typed[] = {{"300", 0.35f}, {"90", 0.2f}, {"250", 1.0f}, {"tempo", 0.35f}};
    for (auto [text, value] : typed) {
        typeTempo(text);
        EXPECT_FLOAT_EQ(effect->getParameter(kBpm), value) << text;
        editor->idle();
        EXPECT_FLOAT_EQ(view<CAnimKnob>(16)->getValue(), value) << text;
    }
    // The field then shows the tempo the parameter holds.
    EXPECT_EQ(view<CTextEdit>(kTempoTextView)->getText(), "120.00");
}

TEST_F(SpaceEditor, HostTempoShownWhateverBpmHolds) {
    Host::time.tempo = 98.5;
    Host::time.flags = kVstTempoValid;
    Host::hasTempo = true;
    open();
    process();
    editor->idle();
    auto* field = view<CTextEdit>(kTempoTextView);
    EXPECT_EQ(field->getText(), "98.50");
    effect->setParameter(kBpm, 0.9f);
    editor->idle();
    EXPECT_EQ(field->getText(), "98.50");
    EXPECT_FLOAT_EQ(view<CAnimKnob>(16)->getValue(), 0.9f);
    // The host stops giving its tempo: the effect falls back to "Bpm" (230).
    Host::hasTempo = false;
    process();
    editor->idle();
    EXPECT_EQ(field->getText(), "230.00");
    effect->setParameter(kBpm, 0.25f);
    editor->idle();
    EXPECT_EQ(field->getText(), "100.00");
}

TEST_F(SpaceEditor, MiddleSoloTurnsTheOthersOffAndBringsItsCurveToTheFront) {
    effect->setParameter(kLowSolo, 1.0f);
    open();
    auto* filter = view<CFilterDisplay>(kFilterView);
    EXPECT_FLOAT_EQ(view<COnOffButton>(kSoloViews[0])->getValue(), 1.0f);
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kHighPass), 1.0f);
    click(kSoloViews[1]);
    EXPECT_FLOAT_EQ(effect->getParameter(kMidSolo), 1.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(kLowSolo), 0.0f);
    editor->idle();
    const float shown[3] = {0.0f, 1.0f, 0.0f};
    for (int b = 0; b < 3; ++b) EXPECT_FLOAT_EQ(view<COnOffButton>(kSoloViews[b])->getValue(), shown[b]) << b;
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kBandPass), 1.0f);
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kLowPass), 2.0f);
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kHighPass), 3.0f);
    EXPECT_TRUE(filter->isDirty());
    // A level re-places its band's curve.
    effect->setParameter(kLowLevel, 1.0f);
    editor->idle();
    EXPECT_FLOAT_EQ(filter->getValue(1), 1.0f);
    EXPECT_EQ(filter->curveRect(CFilterDisplay::kLowPass).top, 46);
    EXPECT_EQ(filter->frontMark(CFilterDisplay::kLowPass), 1.0f);
}

TEST_F(SpaceEditor, HostChangesReachTheControlsOnlyAtIdle) {
    open();
    auto* mix = view<CAnimKnob>(kMixView);
    auto* lowFrequency = view<CParamDisplay>(4);
    effect->setParameter(kMix, 0.9f);
    effect->setParameter(kLowFreq, 1.0f);
    EXPECT_FLOAT_EQ(mix->getValue(), 0.5f);
    EXPECT_FLOAT_EQ(lowFrequency->getValue(), 0.5f);
    editor->idle();
    EXPECT_FLOAT_EQ(mix->getValue(), 0.9f);
    EXPECT_FLOAT_EQ(lowFrequency->getValue(), 1.0f);
    EXPECT_EQ(lowFrequency->text(), "20.00K");
    EXPECT_FLOAT_EQ(view<CFilterDisplay>(kFilterView)->getValue(0), 1.0f);
    // A knob turned by the user goes to the effect and the host at once.
    mix->setValue(0.3f);
    editor->valueChanged(frame->context(), mix);
    EXPECT_FLOAT_EQ(effect->getParameter(kMix), 0.3f);
    EXPECT_EQ(Host::automated.back(), std::make_pair(static_cast<VstInt32>(kMix), 0.3f));
}

TEST_F(SpaceEditor, NothingWhileClosed) {
    editor->setParameter(kMix, 0.0f);
    EXPECT_FALSE(editor->isUpdateRequested());
    open();
    editor->close();
    editor->idle();  // takes the update the open posted
    ASSERT_FALSE(editor->isUpdateRequested());
    editor->setParameter(kLowFreq, 0.0f);
    editor->setParameter(99, 0.0f);
    EXPECT_FALSE(editor->isUpdateRequested());
    // Open again, twice: one fresh frame with the effect's values.
    effect->setParameter(kMix, 0.8f);
    open();
    open();
    EXPECT_EQ(frame->getNbViews(), 25);
    EXPECT_FLOAT_EQ(view<CAnimKnob>(kMixView)->getValue(), 0.8f);
    editor->setParameter(99, 0.0f);  // none of its controls, still an update
    EXPECT_TRUE(editor->isUpdateRequested());
    // The editor is announced to the host, sized by its panel.
    EXPECT_TRUE(effect->getAeffect()->flags & effFlagsHasEditor);
    ERect* r = nullptr;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_GE(r->right, 511);
    EXPECT_GE(r->bottom, 364);
}

TEST_F(SpaceEditor, PicturesShowTheKnobs) {
    open();
    struct Knob {
        int view;
        VstInt32 parameter;
    };
    for (Knob k : {Knob{kLowLevelView, kLowLevel}, Knob{kMixView, kMix}, Knob{14, kMidLfoDepth}}) {
        SCOPED_TRACE("parameter " + std::to_string(k.parameter));
        effect->setParameter(k.parameter, 0.0f);
        editor->idle();
        const std::vector<uint32_t> low = pixels(*frame);
        effect->setParameter(k.parameter, 1.0f);
        editor->idle();
        const std::vector<uint32_t> high = pixels(*frame);
        const CRect knob = frame->getView(k.view)->getSize();
        const CRect filter = frame->getView(kFilterView)->getSize();
        const int width = frame->getSize().width();
        int inside = 0, outside = 0;
        for (std::size_t i = 0; i < low.size(); ++i) {
            const CPoint p(static_cast<int>(i) % width, static_cast<int>(i) / width);
            if (low[i] == high[i]) continue;
            if (knob.pointInside(p)) ++inside;
            else if (!filter.pointInside(p)) ++outside;
        }
        EXPECT_GT(inside, 20);
        EXPECT_EQ(outside, 0);
    }
}
