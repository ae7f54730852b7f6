// The phaser editor's pictures: the panel with its labels, the channel knobs' and the
// output knobs' film strips, the link button and the value displays' background, at
// the places and sizes the editor's layout gives.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "detail.h"
#include "layout.h"
#include "pieces.h"

using namespace orvex::pictures;
namespace gui = orvex::gui;
namespace layout = orvex::phaser::layout;

namespace {

constexpr int kPanelWidth = 424;
constexpr int kPanelHeight = 240;

const Font kTitleFont{9, true, 0.6};
const Font kKnobFont{9, true, 0.5};
const Font kSmallFont{8, true, 0.3};
const Font kEndFont{7, true, 0};
const Font kUnitFont{8, false, 0};

// The knobs share their strips, so each sits on a flat seat of one colour that reaches
// beyond the corners of its frame: no edge of a frame shows, wherever the knob is.
Colour seatColour(const Style& style) { return style.section.darker(0.3); }

double seatRadius(const gui::PanelRect& b) { return std::hypot(b.width(), b.height()) / 2 + 1.5; }

void seat(cairo_t* cr, const Style& style, const gui::PanelRect& b) {
    const double cx = b.left + b.width() / 2.0;
    const double cy = b.top + b.height() / 2.0;
    const double r = seatRadius(b);
    cairo_save(cr);
    // A faint light lip below, as on the section boxes' recesses.
    cairo_arc(cr, cx, cy + 1, r + 0.5, 0, 2 * std::numbers::pi);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, r + 0.5, 0, 2 * std::numbers::pi);
    const Colour edge = style.sectionEdge;
    cairo_set_source_rgb(cr, edge.red / 255.0, edge.green / 255.0, edge.blue / 255.0);
    cairo_fill(cr);
    const Colour fill = seatColour(style);
    cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * std::numbers::pi);
    cairo_set_source_rgb(cr, fill.red / 255.0, fill.green / 255.0, fill.blue / 255.0);
    cairo_fill(cr);
    cairo_restore(cr);
}

const gui::PanelRect& placeOf(int parameter, gui::PanelKind kind) { return rowOf(layout::kRows, parameter, kind).rect; }
const gui::PanelRect& knobOf(int parameter) { return placeOf(parameter, gui::PanelKind::knob); }

// A knob's name centred above its seat.
void knobLabel(cairo_t* cr, const Style& style, int parameter, std::string_view name) {
    const gui::PanelRect& b = knobOf(parameter);
    const double cx = b.left + b.width() / 2.0;
    const double top = b.top + b.height() / 2.0 - seatRadius(b);
    text(cr, name, cx, top - 3, kKnobFont, style.label, Align::centre);
}

// Words at the two ends of a knob's travel, below it at the lower left and right.
void knobEnds(cairo_t* cr, const Style& style, int parameter, std::string_view low, std::string_view high) {
    const gui::PanelRect& b = knobOf(parameter);
    const double cx = b.left + b.width() / 2.0;
    const double below = b.top + b.height() / 2.0 + seatRadius(b) + 8;
    text(cr, low, cx - 3, below, kEndFont, style.dimLabel, Align::right);
    text(cr, high, cx + 3, below, kEndFont, style.dimLabel, Align::left);
}

// One channel: its title in the free space right of the rate knob, its three knobs'
// names, and the rate display's unit beside it.
void channel(cairo_t* cr, const Style& style, double top, std::string_view title, int rate, int depth,
             int feedback) {
    const gui::PanelRect& rateKnob = knobOf(rate);
    text(cr, title, rateKnob.right + 14, top + 7, kTitleFont, style.dimLabel, Align::left, Anchor::top);
    knobLabel(cr, style, rate, "RATE");
    knobLabel(cr, style, depth, "DEPTH");
    knobLabel(cr, style, feedback, "FEEDBACK");
    const gui::PanelRect& hz = placeOf(rate, gui::PanelKind::display);
    text(cr, "Hz", hz.right + 3, hz.bottom - 1, kUnitFont, style.dimLabel);
    for (int p : {rate, depth, feedback}) seat(cr, style, knobOf(p));
}

// A strip of `picture`'s knobs: as many frames as its most finely divided knob needs;
// where another knob divides its travel into fewer pictures, the strip shows the
// values of the fewer and repeats the full-scale picture to make up the count, so that
// every knob starts empty and ends full.
Picture knobStripOf(const Style& style, int picture) {
    int fewest = 1 << 30, frames = 0, width = 0, h = 0;
    for (const gui::PanelRow& k : layout::kRows)
        if (k.kind == gui::PanelKind::knob && k.picture == picture)
            fewest = std::min(fewest, k.frames), frames = std::max(frames, k.frames), width = k.rect.width(),
            h = k.frameHeight;
    const Picture values = knobStrip(style, fewest, width, h, Backdrop::plain(seatColour(style)));
    Picture strip(width, frames * h);
    cairo_t* cr = strip.context();
    cairo_set_source_surface(cr, values.surface(), 0, 0);
    cairo_paint(cr);
    for (int i = fewest; i < frames; ++i) {
        cairo_set_source_surface(cr, values.surface(), 0, (i - fewest + 1) * h);
        cairo_rectangle(cr, 0, i * h, width, h);
        cairo_fill(cr);
    }
    cairo_surface_flush(strip.surface());
    return strip;
}

// The value displays are hardly higher than their digits: a light field edged in dark
// at its top and sides only, so that the digits' feet stand on its lit lower lip
// rather than on a dark line.
Picture valueField(const Style& style, int width, int height, const Backdrop& backdrop) {
    return compose(width, height, backdrop, [&](cairo_t* cr) {
        const double w = width;
        const double h = height;
        orvex::pictures::detail::roundedRect(cr, 0, 0, w, h, 1.5);
        orvex::pictures::detail::verticalGradient(cr, 0, h, style.display.darker(0.1), style.display.lighter(0.1));
        cairo_fill(cr);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, 0.5, h - 2);
        cairo_line_to(cr, 0.5, 0.5);
        cairo_line_to(cr, w - 0.5, 0.5);
        cairo_line_to(cr, w - 0.5, h - 2);
        const Colour edge = style.displayEdge;
        cairo_set_source_rgba(cr, edge.red / 255.0, edge.green / 255.0, edge.blue / 255.0, 0.8);
        cairo_stroke(cr);
    });
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        using namespace orvex::phaser;
        const Style style;

        Picture panel(kPanelWidth, kPanelHeight);
        fillPanel(panel, style);
        cairo_t* cr = panel.context();
        productName(cr, style, "Orvex Phase", 18, 23, 15);
        vendorMark(cr, style, kPanelWidth - 16, 23, 10, Align::right);
        divider(cr, style, 12, 31, kPanelWidth - 12, 31);

        // The channels' controls step down to the right side by side, so one box holds
        // both, parted by a groove that runs down between their staircases.
        const Box channels{38, 36, 315, 190};
        sectionBox(cr, style, channels);
        divider(cr, style, 175, channels.y + 2, 228, channels.y + channels.height - 2);
        channel(cr, style, channels.y, "LEFT CHANNEL", kLeftRate, kLeftDepth, kLeftFeedback);
        channel(cr, style, channels.y, "RIGHT CHANNEL", kRightRate, kRightDepth, kRightFeedback);

        // The link ties the right channel's three knobs to the left's.
        const gui::PanelRect& link = placeOf(kLink, gui::PanelKind::button);
        text(cr, "LINK", link.left + link.width() / 2.0, link.bottom + 10, kSmallFont, style.label, Align::centre);

        sectionBox(cr, style, {356, 36, 62, 190});  // the output
        knobLabel(cr, style, kMix, "MIX");
        knobEnds(cr, style, kMix, "DRY", "WET");
        knobLabel(cr, style, kWidth, "WIDTH");
        knobEnds(cr, style, kWidth, "MONO", "WIDE");
        seat(cr, style, knobOf(kMix));
        seat(cr, style, knobOf(kWidth));
        panel.save(out, layout::kPanel);

        knobStripOf(style, layout::kChannelKnobs).save(out, layout::kChannelKnobs);
        knobStripOf(style, layout::kOutputKnobs).save(out, layout::kOutputKnobs);
        twoStateButton(style, link.width(), link.height(), Backdrop::of(panel, link.left, link.top))
            .save(out, layout::kLinkButton);
        const gui::PanelRect& first = placeOf(kLeftRate, gui::PanelKind::display);
        valueField(style, first.width(), first.height(), Backdrop::of(panel, first.left, first.top))
            .save(out, layout::kDisplay);
    });
}
