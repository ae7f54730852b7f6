// The phaser's editor offscreen, on the effect itself: its controls and their first
// values, the linked channels, the value texts, the effect's changes arriving at idle,
// nothing while closed, and what the knobs draw.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gui/housestyle.h"
#include "plugins/phaser/adelay.h"
#include "plugins/phaser/editor.h"

namespace {

using namespace orvex::gui;
using orvex::phaser::ADEditor;
using orvex::phaser::ADelayEdit;

// What the host was told: parameter changes the user made.
std::vector<std::pair<int, float>> automated;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate) automated.emplace_back(index, opt);
    if (opcode == audioMasterVersion) return 2400;
    return 0;
}

bool wasAutomated(int index) {
    for (const auto& a : automated)
        if (a.first == index) return true;
    return false;
}

enum class Kind { button, knob, display };

struct Expected {
    Kind kind;
    int parameter;
    CRect rect;
    int subImages;  // knobs: how many pictures the value spreads over
    int imageHeight;
};

// Every control, in the order the frame holds them.
const Expected kControls[] = {
    {Kind::button, 7, {329, 47, 348, 78}, 0, 0},
    {Kind::knob, 0, {49, 60, 71, 82}, 127, 22},
    {Kind::knob, 3, {198, 60, 220, 82}, 127, 22},
    {Kind::knob, 1, {80, 122, 102, 144}, 127, 22},
    {Kind::knob, 4, {229, 122, 251, 144}, 127, 22},
    {Kind::knob, 2, {110, 185, 132, 207}, 127, 22},
    {Kind::knob, 5, {259, 185, 281, 207}, 128, 22},
    {Kind::knob, 6, {381, 56, 399, 74}, 101, 18},
    {Kind::knob, 8, {381, 152, 399, 170}, 101, 18},
    {Kind::display, 0, {97, 79, 130, 89}, 0, 0},
    {Kind::display, 2, {158, 205, 191, 215}, 0, 0},
    {Kind::display, 1, {127, 142, 160, 152}, 0, 0},
    {Kind::display, 3, {246, 79, 279, 89}, 0, 0},
    {Kind::display, 5, {307, 205, 340, 215}, 0, 0},
    {Kind::display, 4, {277, 142, 310, 152}, 0, 0},
    {Kind::display, 8, {374, 205, 407, 215}, 0, 0},
    {Kind::display, 6, {374, 109, 407, 119}, 0, 0},
};
constexpr int kNumControls = sizeof kControls / sizeof kControls[0];

struct PhaserEditor : ::testing::Test {
    ADelayEdit* effect = new ADelayEdit(host);
    ADEditor* editor = static_cast<ADEditor*>(effect->getEditor());

    void SetUp() override { automated.clear(); }
    void TearDown() override { delete effect; }  // and its editor

    CFrame* frame() const { return editor->getFrame(); }
    // The control showing `parameter` of the given kind.
    CControl* control(Kind kind, int parameter) const {
        for (int i = 0; i < kNumControls; ++i)
            if (kControls[i].kind == kind && kControls[i].parameter == parameter)
                return static_cast<CControl*>(frame()->getView(i));
        return nullptr;
    }
    CAnimKnob* knob(int parameter) const { return static_cast<CAnimKnob*>(control(Kind::knob, parameter)); }
    CParamDisplay* display(int parameter) const {
        return static_cast<CParamDisplay*>(control(Kind::display, parameter));
    }
    // The user drags a knob up by `pixels` (linear dragging: 200 pixels for the range).
    void drag(int parameter, int pixels) {
        const CRect& r = knob(parameter)->getSize();
        const CPoint from((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        frame()->onMouseDown(from, kLButton);
        frame()->onMouseMove(CPoint(from.h, from.v - pixels), kLButton);
        frame()->onMouseRelease(CPoint(from.h, from.v - pixels), 0);
    }
    void setLink(bool on) {
        effect->setParameter(7, on ? 1.0f : 0.0f);
        editor->applyPendingChanges();
    }
    std::vector<std::uint32_t> pixels() const {
        frame()->draw();
        cairo_surface_t* s = frame()->getSurface();
        cairo_surface_flush(s);
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        std::vector<std::uint32_t> out(static_cast<std::size_t>(w * h));
        for (int y = 0; y < h; ++y)
            std::memcpy(&out[static_cast<std::size_t>(y * w)], cairo_image_surface_get_data(s) + y * stride, 4u * w);
        return out;
    }
    int width() const { return frame()->getSize().width(); }
};

TEST_F(PhaserEditor, EveryControlAtItsPlaceWithTheEffectsValue) {
    EXPECT_TRUE(effect->getAeffect()->flags & effFlagsHasEditor);
    // Distinct values, with the link off so that each channel keeps its own.
    effect->setParameter(7, 0.0f);
    for (int p : {0, 1, 2, 3, 4, 5, 6, 8}) effect->setParameter(p, 0.05f + 0.1f * static_cast<float>(p));
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    ASSERT_TRUE(editor->open(nullptr));
    CBitmap* panel = frame()->getBackground();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(rect->right - rect->left, panel->getWidth());
    EXPECT_EQ(rect->bottom - rect->top, panel->getHeight());
    EXPECT_EQ(frame()->getSize(), CRect(0, 0, panel->getWidth(), panel->getHeight()));
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), 2);

    ASSERT_EQ(frame()->getNbViews(), kNumControls);
    for (int i = 0; i < kNumControls; ++i) {
        const Expected& e = kControls[i];
        SCOPED_TRACE(::testing::Message() << "control " << i + 1);
        auto* c = dynamic_cast<CControl*>(frame()->getView(i));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getSize(), e.rect);
        EXPECT_EQ(c->getValue(), effect->getParameter(e.parameter));
        ASSERT_NE(c->getBackground(), nullptr);
        switch (e.kind) {
            case Kind::button:
                EXPECT_NE(dynamic_cast<COnOffButton*>(c), nullptr);
                EXPECT_EQ(c->getTag(), e.parameter);
                EXPECT_EQ(c->getBackground()->getHeight(), 2 * e.rect.height());  // off and on
                break;
            case Kind::knob: {
                auto* k = dynamic_cast<CAnimKnob*>(c);
                ASSERT_NE(k, nullptr);
                EXPECT_EQ(c->getTag(), e.parameter);
                EXPECT_EQ(c->getDefaultValue(), 0.5f);
                // Full scale shows the last picture, which the strip holds.
                k->setValue(1.0f);
                EXPECT_EQ(k->subImageTop(), (e.subImages - 1) * e.imageHeight);
                EXPECT_GE(c->getBackground()->getHeight(), e.subImages * e.imageHeight);
                EXPECT_EQ(c->getBackground()->getWidth(), e.rect.width());
                break;
            }
            case Kind::display: {
                auto* d = dynamic_cast<CParamDisplay*>(c);
                ASSERT_NE(d, nullptr);
                EXPECT_EQ(d->getStyle(), 1);
                EXPECT_EQ(d->getFont(), kHouseFont);
                EXPECT_EQ(d->getFontColor(), kHouseTextColor);
                EXPECT_EQ(c->getBackground()->getWidth(), e.rect.width());
                EXPECT_EQ(c->getBackground()->getHeight(), e.rect.height());
                break;
            }
        }
    }
}

// The user clicks the link button and turns knobs: with the link on a knob's partner
// follows and both reach the effect and the host, whichever channel was turned; with
// the link off only the turned one moves.
TEST_F(PhaserEditor, LinkedChannelsMoveTogether) {
    const struct {
        bool link;
        int turned;
        int partner;
    } cases[] = {{true, 1, 4}, {true, 3, 0}, {true, 5, 2}, {false, 0, 3}, {false, 4, 1}};
    // The link is on at first; a click turns it off, in the effect and for the host.
    editor->open(nullptr);
    const CRect& b = control(Kind::button, 7)->getSize();
    const CPoint centre((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    frame()->onMouseDown(centre, kLButton);
    frame()->onMouseRelease(centre, 0);
    EXPECT_EQ(effect->getParameter(7), 0.0f);
    EXPECT_EQ(control(Kind::button, 7)->getValue(), 0.0f);
    EXPECT_TRUE(wasAutomated(7));
    editor->close();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "link " << c.link << ", parameter " << c.turned);
        effect->setProgram(0);  // both channels alike
        editor->open(nullptr);
        setLink(c.link);
        const float partnerBefore = effect->getParameter(c.partner);
        automated.clear();
        drag(c.turned, 40);
        const float turned = knob(c.turned)->getValue();
        EXPECT_NE(turned, partnerBefore);
        EXPECT_EQ(effect->getParameter(c.turned), turned);
        EXPECT_EQ(display(c.turned)->getValue(), turned);
        EXPECT_TRUE(wasAutomated(c.turned));
        const float partner = c.link ? turned : partnerBefore;
        EXPECT_EQ(knob(c.partner)->getValue(), partner);
        EXPECT_EQ(display(c.partner)->getValue(), partner);
        EXPECT_EQ(effect->getParameter(c.partner), partner);
        EXPECT_EQ(wasAutomated(c.partner), c.link);
        editor->close();
    }
}

// The effect's changes (the host's automation, programs) reach the knobs and displays
// on the editor's next idle, never before; the displays' texts.
TEST_F(PhaserEditor, EffectChangesArriveAtTheNextIdle) {
    editor->open(nullptr);
    setLink(false);
    const struct {
        int parameter;
        float value;
        const char* text;
    } cases[] = {
        {0, 1.0f, "20.00"}, {0, 0.5f, "1.00"}, {3, 0.0f, "0.05"}, {1, 0.999f, "99%"},
        {5, 0.25f, "25%"},  {6, 1.0f, "100%"}, {8, 0.0f, "0%"},   {4, 0.505f, "50%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "parameter " << c.parameter << " at " << c.value);
        effect->setParameter(c.parameter, c.value);
        EXPECT_NE(knob(c.parameter)->getValue(), c.value);
        editor->applyPendingChanges();
        EXPECT_EQ(knob(c.parameter)->getValue(), c.value);
        EXPECT_EQ(display(c.parameter)->getValue(), c.value);
        EXPECT_EQ(display(c.parameter)->text(), c.text);
    }
    // Linked, a left value goes right as well.
    setLink(true);
    effect->setParameter(1, 0.7f);
    editor->applyPendingChanges();
    for (int p : {1, 4}) {
        EXPECT_EQ(knob(p)->getValue(), 0.7f) << p;
        EXPECT_EQ(display(p)->getValue(), 0.7f) << p;
    }
    // A right value set by the host stays on the right in the effect; the left knob
    // keeps showing what the effect holds.
    effect->setParameter(4, 0.3f);
    editor->applyPendingChanges();
    EXPECT_EQ(knob(4)->getValue(), 0.3f);
    EXPECT_EQ(knob(1)->getValue(), effect->getParameter(1));
    EXPECT_EQ(display(1)->getValue(), effect->getParameter(1));

    effect->setParameter(7, 0.0f);
    EXPECT_EQ(control(Kind::button, 7)->getValue(), 1.0f);
    editor->idle();
    EXPECT_EQ(control(Kind::button, 7)->getValue(), 0.0f);
    // Any index asks the host to redraw, one outside the parameters too.
    editor->idle();
    EXPECT_FALSE(editor->isUpdateRequested());
    editor->setParameter(42, 0.0f);
    EXPECT_TRUE(editor->isUpdateRequested());
    // The argument is not what the controls show: the effect's value is.
    editor->setParameter(8, 0.9f);
    EXPECT_EQ(knob(8)->getValue(), effect->getParameter(8));
}

TEST_F(PhaserEditor, NothingWhileClosedAndOnlyItsOwnTags) {
    editor->setParameter(0, 0.3f);  // never opened
    EXPECT_FALSE(editor->isUpdateRequested());
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(editor->open(nullptr));
        ASSERT_TRUE(editor->open(nullptr));  // twice: one frame, no leak
        EXPECT_EQ(frame()->getNbViews(), kNumControls);
        editor->close();
    }
    EXPECT_EQ(frame(), nullptr);
    editor->idle();
    effect->setParameter(8, 0.25f);
    editor->idle();
    editor->setParameter(8, 0.25f);
    editor->applyPendingChanges();
    EXPECT_FALSE(editor->isUpdateRequested());
    // Opened again, it shows what changed meanwhile.
    editor->open(nullptr);
    EXPECT_EQ(knob(8)->getValue(), 0.25f);

    // Tags beyond the parameters (none of the editor's) are not the effect's business.
    automated.clear();
    float before[9];
    for (int i = 0; i < 9; ++i) before[i] = effect->getParameter(i);
    for (long tag : {9L, 250L, -1L}) {
        CControl stranger(CRect(0, 0, 4, 4), editor, tag);
        stranger.setValue(0.123f);
        editor->valueChanged(nullptr, &stranger);
    }
    EXPECT_TRUE(automated.empty());
    for (int i = 0; i < 9; ++i) EXPECT_EQ(effect->getParameter(i), before[i]) << i;
}

// A knob at 0 and at 1 draws differently in its own rectangle and nowhere else but its
// display; the right feedback knob's last picture is the full-scale one.
TEST_F(PhaserEditor, KnobsDrawTheirValueInTheirRectangle) {
    effect->setParameter(7, 0.0f);
    editor->open(nullptr);
    for (int p : {0, 1, 2, 3, 4, 5, 6, 8}) {
        SCOPED_TRACE(::testing::Message() << "parameter " << p);
        effect->setParameter(p, 0.0f);
        editor->applyPendingChanges();
        const auto low = pixels();
        effect->setParameter(p, 1.0f);
        editor->applyPendingChanges();
        const auto high = pixels();
        const CRect k = knob(p)->getSize(), d = display(p)->getSize();
        int changedInKnob = 0, changedElsewhere = 0;
        for (int i = 0; i < static_cast<int>(low.size()); ++i) {
            if (low[i] == high[i]) continue;
            const CPoint at(i % width(), i / width());
            if (k.pointInside(at)) ++changedInKnob;
            else if (!d.pointInside(at)) ++changedElsewhere;
        }
        EXPECT_GT(changedInKnob, k.width() * k.height() / 20);
        EXPECT_EQ(changedElsewhere, 0);
    }
    // Both feedback knobs at full scale: the same picture.
    const auto full = pixels();
    const CRect left = knob(2)->getSize(), right = knob(5)->getSize();
    int differing = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x)
            differing += full[(left.top + y) * width() + left.left + x] != full[(right.top + y) * width() + right.left + x];
    EXPECT_EQ(differing, 0);
}

}  // namespace
