// The pictures of the Orvex Space editor: the panel with its band columns and labels,
// the knob strips, the solo button, the menu and display backgrounds, the filter
// screen and its three curves. Every control picture is drawn over the part of the
// panel it covers (layout.h says where), so no square shows around it.
#include <cairo.h>

#include <string_view>

#include "layout.h"
#include "pieces.h"

using namespace orvex::pictures;
namespace layout = orvex::panner::layout;
using namespace orvex::panner;
using orvex::gui::PanelKind;
using orvex::gui::PanelRect;

namespace {

constexpr int kWidth = 548;
constexpr int kHeight = 386;

// The boxes behind the controls.
constexpr Box kTempoBox{20, 31, 116, 103};
constexpr Box kMixBox{470, 31, 64, 103};
constexpr Box kBandsBox{14, 138, 520, 236};
constexpr double kRowDivider = 250;  // between the filter row and the LFO row
// Each band column's extent inside the bands box.
constexpr double kColumnLeft[3] = {71, 220, 370};
constexpr double kColumnRight[3] = {214, 364, 514};

// Each band's curve colour, also marked beside its heading.
const Colour kBandColour[3] = {{242, 164, 52}, {176, 222, 110}, {112, 190, 238}};

constexpr Font kLabel{9, false, 0};
constexpr Font kHeading{10, true, 1.2};
constexpr Font kLegend{8.5, true, 1.0};

double centre(const PanelRect& r) { return r.left + r.width() / 2.0; }
const PanelRect& at(long tag, PanelKind kind = PanelKind::knob) {
    return orvex::gui::rowOf(layout::kRows, tag, kind).rect;
}
// A band's parameter: `low` is the low band's; the bands' parameters are five apart.
long ofBand(long low, int band) { return low + 5 * band; }
const PanelRect kFilterDisplay = at(layout::kFilterDisplayTag, PanelKind::own);
const PanelRect kTempoText = at(layout::kTempoTextTag, PanelKind::own);

// A control's label centred under (or over) it; `top` is the top of the capitals.
void label(cairo_t* cr, const Style& style, std::string_view words, double x, double top) {
    text(cr, words, x, top, kLabel, style.dimLabel, Align::centre, Anchor::top);
}

Picture panel(const Style& style) {
    Picture p(kWidth, kHeight);
    fillPanel(p, style);
    cairo_t* cr = p.context();

    productName(cr, style, "Orvex Space", 22, 21, 15);
    vendorMark(cr, style, kWidth - 22, 21, 9.5, Align::right);
    divider(cr, style, 14, 27, kWidth - 14, 27);

    // Tempo: knob, its label, the typed tempo and its unit.
    sectionBox(cr, style, kTempoBox);
    label(cr, style, "Tempo", centre(at(kBpm)), 59);
    label(cr, style, "BPM", centre(kTempoText), kTempoText.bottom + 5);

    // The filter display's caption sits above the screen.
    text(cr, "BANDS", centre(kFilterDisplay), 35, kLegend, style.dimLabel, Align::centre, Anchor::top);

    // Mix: knob with its two ends and label; what the product does below them.
    sectionBox(cr, style, kMixBox);
    const PanelRect& mix = at(kMix);
    const double mixX = centre(mix);
    label(cr, style, "Mix", mixX, 59);
    text(cr, "Dry", mix.left - 4, 52, {7.5, false, 0}, style.dimLabel, Align::right, Anchor::baseline);
    text(cr, "Wet", mix.right + 4, 52, {7.5, false, 0}, style.dimLabel, Align::left, Anchor::baseline);
    const Font tagline{7.5, true, 0};
    text(cr, "THREE-BAND", mixX, 104, tagline, style.dimLabel, Align::centre, Anchor::top);
    text(cr, "AUTO-PANNER", mixX, 116, tagline, style.dimLabel, Align::centre, Anchor::top);

    // The bands: one box, a column per band, a row for the filter and one for the LFO.
    sectionBox(cr, style, kBandsBox);
    divider(cr, style, kBandsBox.x + 6, kRowDivider, kBandsBox.x + kBandsBox.width - 6, kRowDivider);
    for (int b = 1; b < 3; ++b) {
        const double x = (kColumnRight[b - 1] + kColumnLeft[b]) / 2;
        divider(cr, style, x, kBandsBox.y + 6, x, kBandsBox.y + kBandsBox.height - 6);
    }
    const double legendX = (kBandsBox.x + kColumnLeft[0]) / 2;
    text(cr, "FILTER", legendX, 190, kLegend, style.dimLabel, Align::centre, Anchor::middle);
    text(cr, "PAN", legendX, 300, kLegend, style.dimLabel, Align::centre, Anchor::middle);
    text(cr, "LFO", legendX, 313, kLegend, style.dimLabel, Align::centre, Anchor::middle);

    const char* const headings[3] = {"LOW", "MID", "HIGH"};
    for (int b = 0; b < 3; ++b) {
        const double mid = (kColumnLeft[b] + kColumnRight[b]) / 2;
        const double w = text(cr, headings[b], mid + 5, 143, kHeading, style.label, Align::centre, Anchor::top);
        // The band's curve colour as a small lamp before its name.
        cairo_arc(cr, mid + 5 - w / 2 - 7, 147, 2.5, 0, 6.2832);
        cairo_set_source_rgb(cr, kBandColour[b].red / 255.0, kBandColour[b].green / 255.0, kBandColour[b].blue / 255.0);
        cairo_fill(cr);

        const PanelRect& depth = at(ofBand(kLowLfoDepth, b));
        label(cr, style, "Freq", centre(at(kLowFreq + b)), at(kLowFreq + b).bottom + 5);
        label(cr, style, "Level", centre(at(ofBand(kLowLevel, b))), at(ofBand(kLowLevel, b)).bottom + 5);
        label(cr, style, "Depth", centre(depth), depth.bottom + 5);
        label(cr, style, "Solo", centre(at(ofBand(kLowSolo, b), PanelKind::keyedButton)), depth.bottom + 5);
        const PanelRect& wave = at(ofBand(kLowModType, b), PanelKind::menu);
        label(cr, style, "Wave", centre(wave), wave.top - 11);
        const PanelRect& rate = at(ofBand(kLowDiv, b), PanelKind::menu);
        label(cr, style, "Rate", centre(rate), rate.top - 11);
    }
    return p;
}

// A filter curve in the band's own colour.
Picture curve(const Style& house, Response response, int width, int band, const CurveOptions& options) {
    Style style = house;
    style.curveLine = kBandColour[band];
    style.curveFill = kBandColour[band].withAlpha(0.35);
    return filterCurve(style, response, width, kFilterDisplay.height(), kCurveKey, options);
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style;
        const Picture background = panel(style);
        background.save(out, layout::kPanel);

        // The three bands' controls sit on the same panel rows, so the low band's
        // place stands for all three.
        for (long knob : {kLowFreq, kBpm, kLowLfoDepth}) {
            const orvex::gui::PanelRow& k = orvex::gui::rowOf(layout::kRows, knob, PanelKind::knob);
            knobStrip(style, k.frames, k.rect.width(), k.frameHeight, Backdrop::of(background, k.rect.left, k.rect.top))
                .save(out, k.picture);
        }

        // The solo button is drawn with white left out: white around it, blended with
        // the section under it at its edges.
        const PanelRect& solo = at(kLowSolo, PanelKind::keyedButton);
        const Colour under = background.pixel(solo.left + solo.width() / 2, solo.top + 2);
        twoStateButton(style, solo.width(), solo.height(), Backdrop::keyed({255, 255, 255}, under))
            .save(out, layout::kSoloButton);

        displayBackground(style, kTempoText.width(), kTempoText.height(),
                          Backdrop::of(background, kTempoText.left, kTempoText.top))
            .save(out, layout::kTempoField);
        filterScreen(style, kFilterDisplay.width(), kFilterDisplay.height(),
                     Backdrop::of(background, kFilterDisplay.left, kFilterDisplay.top))
            .save(out, layout::kFilterScreen);

        // The low-pass falls to the bottom within its last pixels (only they show at
        // the lowest frequency); the high-pass rises within its first 47 (all that
        // shows at the highest); the band-pass peaks in its middle.
        const int span = kFilterDisplay.width();
        curve(style, Response::lowPass, span, 0, {.corner = 1.0 - 40.0 / span, .octaves = 11})
            .save(out, layout::kFilterScreen + 1);
        curve(style, Response::bandPass, layout::kBandPassWidth, 1, {.corner = 0.5, .octaves = 6})
            .save(out, layout::kFilterScreen + 2);
        curve(style, Response::highPass, span, 2, {.corner = 40.0 / span, .octaves = 11})
            .save(out, layout::kFilterScreen + 3);

        for (const orvex::gui::PanelRow& m : layout::kRows) {
            if (m.kind != PanelKind::menu) continue;
            menuBackground(style, m.rect.width(), m.rect.height(), Backdrop::of(background, m.rect.left, m.rect.top))
                .save(out, m.picture);
        }
        const PanelRect& field = at(kLowFreq, PanelKind::display);
        displayBackground(style, field.width(), field.height(), Backdrop::of(background, field.left, field.top))
            .save(out, layout::kFrequencyField);
    });
}
