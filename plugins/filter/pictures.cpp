// The filter editor's pictures: the panel with its labels, the knob film strips, the
// lever switches, the XY pad and its handle, the menus' and the tempo field's
// backgrounds, at the sizes and places of the editor's controls (layout.h).
#include <cairo.h>

#include <numbers>
#include <string_view>

#include "layout.h"
#include "pieces.h"

using namespace orvex::pictures;
using namespace orvex::filter;
using orvex::gui::PanelRect;

namespace {

constexpr int kWidth = 580;
constexpr int kHeight = 244;

// Controls whose pictures serve at several places sit on plates of one colour.
Colour plateColour(const Style& style) { return style.section.darker(0.2); }

const Font kLabel{8.5, true, 0.4};
const Font kSmall{7.5, true, 0.3};
const Font kNarrow{8, true, 0};  // where the room is short

// The label's font, shrunk until it fits `room` pixels.
Font fitted(cairo_t* cr, std::string_view words, Font font, double room) {
    while (font.size > 6 && textWidth(cr, words, font) > room) font.size -= 0.25;
    return font;
}

void label(cairo_t* cr, const Style& style, std::string_view words, double x, double y, Align align = Align::centre,
           double room = 80, const Font& font = kLabel) {
    text(cr, words, x, y, fitted(cr, words, font, room), style.label, align, Anchor::middle);
}

void dimLabel(cairo_t* cr, const Style& style, std::string_view words, double x, double y, Align align,
              const Font& font = kSmall) {
    text(cr, words, x, y, font, style.dimLabel, align, Anchor::middle);
}

using orvex::gui::PanelKind;
const PanelRect& at(long tag, PanelKind kind = PanelKind::knob) {
    return orvex::gui::rowOf(layout::kRows, tag, kind).rect;
}

// A disc under parameter `tag`'s knob, just covering the knob's square.
void knobPlate(cairo_t* cr, const Style& style, long tag, double radius) {
    const PanelRect& r = at(tag);
    const double cx = r.left + r.width() / 2.0;
    const double cy = r.top + r.height() / 2.0;
    plate(cr, style, {cx - radius, cy - radius, 2 * radius, 2 * radius}, radius, plateColour(style));
}

void switchPlate(cairo_t* cr, const Style& style, long tag) {
    const PanelRect& r = at(tag, PanelKind::button);
    plate(cr, style, {r.left - 3.0, r.top - 3.0, 25, 37}, 3, plateColour(style));
}

Picture panel(const Style& style) {
    Picture p(kWidth, kHeight);
    fillPanel(p, style);
    cairo_t* cr = p.context();
    productName(cr, style, "Orvex Filter", 16, 22, 15);
    vendorMark(cr, style, kWidth - 16, 22, 10, Align::right);
    divider(cr, style, 12, 30, kWidth - 12, 30);

    // The filter: switches, cutoff, the pad and resonance.
    sectionBox(cr, style, {12, 34, 274, 204}, "FILTER", Align::centre);
    switchPlate(cr, style, kOnOff);
    label(cr, style, "ON", 64, 45, Align::left);
    label(cr, style, "OFF", 64, 64, Align::left);
    switchPlate(cr, style, kPole);
    label(cr, style, "2 POLE", 64, 104, Align::left);
    label(cr, style, "4 POLE", 64, 123, Align::left);
    dimLabel(cr, style, "12 dB", 110, 104, Align::left);
    dimLabel(cr, style, "24 dB", 110, 123, Align::left);
    knobPlate(cr, style, kCutoff, 16);
    label(cr, style, "CUTOFF", 166, 105);
    knobPlate(cr, style, kResonance, 16);
    label(cr, style, "RESONANCE", 111, 183, Align::centre, 70);
    // The pad: cutoff to the right, resonance up.
    dimLabel(cr, style, "TOUCH PAD", 160, 134, Align::left);
    dimLabel(cr, style, "CUTOFF \u25B8", 260, 230, Align::right);
    cairo_save(cr);
    cairo_translate(cr, 152, 222);
    cairo_rotate(cr, -std::numbers::pi / 2);
    dimLabel(cr, style, "RESONANCE \u25B8", 0, 0, Align::left);
    cairo_restore(cr);

    // How far the LFO moves cutoff and resonance.
    sectionBox(cr, style, {290, 34, 60, 142});
    text(cr, "LFO DEPTH", 320, 39, fitted(cr, "LFO DEPTH", {9, true, 0.4}, 52), style.dimLabel, Align::centre,
         Anchor::top);
    knobPlate(cr, style, kCutoffMod, 14);
    label(cr, style, "CUTOFF", 320, 93, Align::centre, 54, kNarrow);
    knobPlate(cr, style, kResonanceMod, 14);
    label(cr, style, "RESONANCE", 320, 156, Align::centre, 54, kNarrow);

    sectionBox(cr, style, {290, 180, 60, 58}, "DRIVE", Align::centre);
    knobPlate(cr, style, kDrive, 16);

    // Type, the LFO's wave and rate, the tempo.
    sectionBox(cr, style, {356, 34, 212, 142});
    label(cr, style, "FILTER TYPE", 423, 67, Align::right, 62);
    divider(cr, style, 364, 83, 560, 83);
    label(cr, style, "LFO WAVE", 423, 99, Align::right, 62);
    label(cr, style, "LFO RATE", 423, 131, Align::right, 62);
    label(cr, style, "TEMPO", 491, 163, Align::right, 62);

    sectionBox(cr, style, {356, 180, 212, 58});
    knobPlate(cr, style, kMix, 14);
    label(cr, style, "DRY/WET", 408, 209, Align::right, 50);
    knobPlate(cr, style, kBpm, 14);
    label(cr, style, "BPM", 502, 209, Align::right, 50);
    return p;
}

// The pad's handle: an accent-coloured puck on white, which the editor leaves out.
Picture handle(const Style& style, int size) {
    return compose(size, size, Backdrop::keyed({255, 255, 255}, style.screen), [&](cairo_t* cr) {
        const double c = size / 2.0;
        const double r = c - 1;
        cairo_arc(cr, c, c, r, 0, 2 * std::numbers::pi);
        cairo_set_source_rgba(cr, style.accent.red / 255.0, style.accent.green / 255.0, style.accent.blue / 255.0, 1);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1);
        cairo_set_source_rgba(cr, 0.08, 0.09, 0.1, 1);
        cairo_stroke(cr);
        cairo_arc(cr, c - r * 0.2, c - r * 0.25, r * 0.4, 0, 2 * std::numbers::pi);
        cairo_set_source_rgba(cr, 1, 0.95, 0.85, 0.75);
        cairo_fill(cr);
    });
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style;
        const Picture back = panel(style);
        back.save(out, layout::kPanel);

        const Backdrop onPlate = Backdrop::plain(plateColour(style));
        for (long knob : {kCutoff, kMix}) {
            const orvex::gui::PanelRow& k = orvex::gui::rowOf(layout::kRows, knob, PanelKind::knob);
            knobStrip(style, k.frames, k.rect.width(), k.frameHeight, onPlate).save(out, k.picture);
        }
        // The two depths, -100..+100 %.
        const orvex::gui::PanelRow& depth = orvex::gui::rowOf(layout::kRows, kCutoffMod, PanelKind::knob);
        knobStrip(style, depth.frames, depth.rect.width(), depth.frameHeight, onPlate, {.centredArc = true})
            .save(out, depth.picture);
        const PanelRect& lever = at(kOnOff, PanelKind::button);
        leverSwitch(style, lever.width(), lever.height(), onPlate).save(out, layout::kSwitch);

        handle(style, 12).save(out, layout::kHandle);
        const PanelRect& pad = at(layout::kPadTag, PanelKind::own);
        filterScreen(style, pad.width(), pad.height(), Backdrop::of(back, pad.left, pad.top), 5)
            .save(out, layout::kPad);

        // Each menu: its background, and the pressed one while its list is open. The
        // narrow ones leave no room for the arrow beside " 1/64 bar" or "x8".
        for (const orvex::gui::PanelRow& m : layout::kRows) {
            if (m.kind != PanelKind::menu) continue;
            const PanelRect& r = m.rect;
            menuBackground(style, r.width(), r.height(), Backdrop::of(back, r.left, r.top), r.width() > 100)
                .save(out, m.picture);
            displayBackground(style, r.width(), r.height(), Backdrop::of(back, r.left, r.top)).save(out, m.pressed);
        }
        const PanelRect& tempo = at(layout::kTempoTag, PanelKind::own);
        displayBackground(style, tempo.width(), tempo.height(), Backdrop::of(back, tempo.left, tempo.top))
            .save(out, layout::kTempoField);
    });
}
