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

double centre(int left, int width) { return left + width / 2.0; }

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
    label(cr, style, "Tempo", centre(layout::kTempoKnob.left, layout::kTempoKnob.width()), 59);
    label(cr, style, "BPM", centre(layout::kTempoText.left, layout::kTempoText.width()), layout::kTempoText.bottom + 5);

    // The filter display's caption sits above the screen.
    text(cr, "BANDS", centre(layout::kFilterDisplay.left, layout::kFilterDisplay.width()), 35, kLegend, style.dimLabel,
         Align::centre, Anchor::top);

    // Mix: knob with its two ends and label; what the product does below them.
    sectionBox(cr, style, kMixBox);
    const double mixX = centre(layout::kMixKnob.left, layout::kMixKnob.width());
    label(cr, style, "Mix", mixX, 59);
    text(cr, "Dry", layout::kMixKnob.left - 4, 52, {7.5, false, 0}, style.dimLabel, Align::right, Anchor::baseline);
    text(cr, "Wet", layout::kMixKnob.right + 4, 52, {7.5, false, 0}, style.dimLabel, Align::left, Anchor::baseline);
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
        const layout::BandColumn& c = layout::kBands[b];
        const double mid = (kColumnLeft[b] + kColumnRight[b]) / 2;
        const double w = text(cr, headings[b], mid + 5, 143, kHeading, style.label, Align::centre, Anchor::top);
        // The band's curve colour as a small lamp before its name.
        cairo_arc(cr, mid + 5 - w / 2 - 7, 147, 2.5, 0, 6.2832);
        cairo_set_source_rgb(cr, kBandColour[b].red / 255.0, kBandColour[b].green / 255.0, kBandColour[b].blue / 255.0);
        cairo_fill(cr);

        label(cr, style, "Freq", centre(c.frequency, layout::kBandKnobSize), layout::kFrequencyBottom + 5);
        label(cr, style, "Level", centre(c.level, layout::kBandKnobSize), layout::kLevelBottom + 5);
        label(cr, style, "Depth", centre(c.depth, layout::kSmallKnobSize), layout::kDepthTop + layout::kSmallKnobSize + 5);
        label(cr, style, "Solo", centre(c.solo, layout::kSoloWidth), layout::kDepthTop + layout::kSmallKnobSize + 5);
        label(cr, style, "Wave", centre(c.waveform, layout::kWaveformWidth), layout::kMenuTop - 11);
        label(cr, style, "Rate", centre(c.division, layout::kDivisionWidth), layout::kMenuTop - 11);
    }
    return p;
}

// A filter curve in the band's own colour.
Picture curve(const Style& house, Response response, int width, int band, const CurveOptions& options) {
    Style style = house;
    style.curveLine = kBandColour[band];
    style.curveFill = kBandColour[band].withAlpha(0.35);
    return filterCurve(style, response, width, layout::kFilterDisplay.height(), kCurveKey, options);
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style;
        const Picture background = panel(style);
        background.save(out, layout::kPanel);

        // The three bands' controls sit on the same panel rows, so the low band's
        // place stands for all three.
        const layout::BandColumn& low = layout::kBands[0];
        knobStrip(style, layout::kBandKnobFrames, layout::kBandKnobSize, layout::kBandKnobSize,
                  Backdrop::of(background, low.frequency, layout::kFrequencyTop))
            .save(out, layout::kBandKnobs);
        knobStrip(style, layout::kSmallKnobFrames, layout::kSmallKnobSize, layout::kSmallKnobSize,
                  Backdrop::of(background, layout::kTempoKnob.left, layout::kTempoKnob.top))
            .save(out, layout::kGlobalKnobs);
        knobStrip(style, layout::kSmallKnobFrames, layout::kSmallKnobSize, layout::kSmallKnobSize,
                  Backdrop::of(background, low.depth, layout::kDepthTop))
            .save(out, layout::kDepthKnobs);

        // The solo button is drawn with white left out: white around it, blended with
        // the section under it at its edges.
        const Colour under = background.pixel(low.solo + layout::kSoloWidth / 2, layout::kSoloTop + 2);
        twoStateButton(style, layout::kSoloWidth, layout::kSoloStateHeight, Backdrop::keyed({255, 255, 255}, under))
            .save(out, layout::kSoloButton);

        displayBackground(style, layout::kTempoText.width(), layout::kTempoText.height(),
                          Backdrop::of(background, layout::kTempoText.left, layout::kTempoText.top))
            .save(out, layout::kTempoField);
        filterScreen(style, layout::kFilterDisplay.width(), layout::kFilterDisplay.height(),
                     Backdrop::of(background, layout::kFilterDisplay.left, layout::kFilterDisplay.top))
            .save(out, layout::kFilterScreen);

        // The low-pass falls to the bottom within its last pixels (only they show at
        // the lowest frequency); the high-pass rises within its first 47 (all that
        // shows at the highest); the band-pass peaks in its middle.
        const int span = layout::kFilterDisplay.width();
        curve(style, Response::lowPass, span, 0, {.corner = 1.0 - 40.0 / span, .octaves = 11})
            .save(out, layout::kLowPassCurve);
        curve(style, Response::bandPass, layout::kBandPassWidth, 1, {.corner = 0.5, .octaves = 6})
            .save(out, layout::kBandPassCurve);
        curve(style, Response::highPass, span, 2, {.corner = 40.0 / span, .octaves = 11})
            .save(out, layout::kHighPassCurve);

        for (int b = 0; b < 3; ++b) {
            menuBackground(style, layout::kDivisionWidth, layout::kMenuBottom - layout::kMenuTop,
                           Backdrop::of(background, layout::kBands[b].division, layout::kMenuTop))
                .save(out, layout::kDivisionMenus[b]);
            menuBackground(style, layout::kWaveformWidth, layout::kMenuBottom - layout::kMenuTop,
                           Backdrop::of(background, layout::kBands[b].waveform, layout::kMenuTop))
                .save(out, layout::kWaveformMenus[b]);
        }
        displayBackground(style, layout::kFrequencyFieldWidth, layout::kFrequencyFieldBottom - layout::kFrequencyFieldTop,
                          Backdrop::of(background, low.frequencyField, layout::kFrequencyFieldTop))
            .save(out, layout::kFrequencyField);
    });
}
