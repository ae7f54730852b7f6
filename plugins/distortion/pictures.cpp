// The distortion editor's pictures, drawn at build time: the panel with its labels
// (128), the large and small knob strips (129, 130), the read-outs' background (131),
// the solo button (132), the type menus' background (133), the filter display's glass
// (134) and its low-pass, band-pass and high-pass curves (135 to 137).
#include <cairo.h>

#include <cmath>
#include <numbers>

#include "layout.h"
#include "detail.h"
#include "pieces.h"

using namespace orvex::pictures;
namespace layout = orvex::distortion::layout;

namespace {

constexpr int kPanelWidth = 608;
constexpr int kPanelHeight = 384;
// The three band columns: boxes one band step apart, as the controls are.
constexpr int kBandStep = 171;
constexpr Box kBandBox{52, 138, 163, 236};
constexpr const char* kBandNames[3] = {"LOW", "MID", "HIGH"};
// Around the mix knob, with the same flat inside as the bands, so that one knob
// strip sits on both without a square showing.
constexpr Box kMixBox{468, 28, 68, 50};
// The solo button: one state 26 x 14, the picture holds both.
constexpr int kSoloWidth = 26;
constexpr int kSoloHeight = 14;
const Colour kWhite{255, 255, 255};

// A section box whose inside is one flat colour: the controls' pictures are drawn on
// it once and shown in every column.
void flatBox(cairo_t* cr, const Style& style, const Box& box) {
    sectionBox(cr, style, box);
    detail::roundedRect(cr, box.x + 1, box.y + 1, box.width - 2, box.height - 2, 3);
    cairo_set_source_rgb(cr, style.section.red / 255.0, style.section.green / 255.0, style.section.blue / 255.0);
    cairo_fill(cr);
}

const Font kHeading{11, true, 0.8};
const Font kLabel{9, true, 0.3};
const Font kSmall{8, false, 0.2};

double centreOf(const layout::Spot& s, int size) { return s.left + size / 2.0; }
double centreOf(const layout::Rect& r) { return (r.left + r.right) / 2.0; }
double middleOf(const layout::Rect& r) { return (r.top + r.bottom) / 2.0; }

Picture drawPanel(const Style& style) {
    Picture panel(kPanelWidth, kPanelHeight);
    fillPanel(panel, style);
    cairo_t* cr = panel.context();

    // Name and maker at the left of the filter display.
    const double nameLeft = 18;
    productName(cr, style, "Orvex Force", nameLeft, 76, 17);
    text(cr, "THREE-BAND DISTORTION", nameLeft + 1, 92, kSmall, style.dimLabel);
    vendorMark(cr, style, nameLeft + 1, 120, 9, Align::left);

    // The filter display sits in a bezel of its own.
    const layout::Rect& f = layout::kFilterDisplay;
    sectionBox(cr, style, {f.left - 6.0, f.top - 6.0, f.width() + 12.0, f.height() + 12.0});

    // Mix, at the top right.
    flatBox(cr, style, kMixBox);
    const layout::Rect& mix = layout::kMixKnob;
    text(cr, "Mix", centreOf(mix), mix.bottom + 12, kLabel, style.label, Align::centre);
    text(cr, "dry", mix.left - 4, mix.bottom - 1, kSmall, style.dimLabel, Align::right);
    text(cr, "wet", mix.right + 4, mix.bottom - 1, kSmall, style.dimLabel, Align::left);

    for (int band = 0; band < 3; ++band) {
        const double dx = band * kBandStep;
        flatBox(cr, style, {kBandBox.x + dx, kBandBox.y, kBandBox.width, kBandBox.height});
        text(cr, kBandNames[band], kBandBox.x + dx + 8, kBandBox.y + 6, kHeading, style.label, Align::left,
             Anchor::top);

        const layout::Spot& freq = layout::kFrequencyKnob[band];
        text(cr, "Freq", centreOf(freq, layout::kLargeKnobSize), freq.top - 7, kLabel, style.label, Align::centre,
             Anchor::middle);
        const layout::Spot& input = layout::kInputKnob[band];
        text(cr, "Input", centreOf(input, layout::kLargeKnobSize), input.top - 8, kLabel, style.label, Align::centre,
             Anchor::middle);
        const layout::Rect& output = layout::kOutputKnob[band];
        text(cr, "Output", centreOf(output), output.top - 8, kLabel, style.label, Align::centre, Anchor::middle);
        const layout::Spot& drive = layout::kDriveKnob[band];
        text(cr, "Drive", centreOf(drive, layout::kLargeKnobSize), drive.top - 8, kLabel, style.label, Align::centre,
             Anchor::middle);
        const layout::Spot& solo = layout::kSolo[band];
        text(cr, "Solo", solo.left - 5, solo.top + kSoloHeight / 2.0, kLabel, style.label, Align::right,
             Anchor::middle);
        const layout::Rect& type = layout::kTypeMenu[band];
        text(cr, "Type", type.left - 5, middleOf(type), kLabel, style.label, Align::right, Anchor::middle);
    }
    return panel;
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style = Style::withAccent({236, 98, 56});
        const Picture panel = drawPanel(style);
        panel.save(out, 128);

        // Every control picture is drawn on the panel under the low band's control (or
        // the only one), and the band boxes are flat inside, so it matches in every
        // column.
        const layout::Spot& large = layout::kFrequencyKnob[0];
        knobStrip(style, layout::kLargeKnobFrames, layout::kLargeKnobSize, layout::kLargeKnobSize,
                  Backdrop::of(panel, large.left, large.top))
            .save(out, 129);
        const layout::Rect& small = layout::kOutputKnob[0];
        knobStrip(style, layout::kSmallKnobFrames, layout::kSmallKnobSize, layout::kSmallKnobSize,
                  Backdrop::of(panel, small.left, small.top))
            .save(out, 130);

        // The read-outs: the high band's is two pixels narrower, so the field is drawn
        // that narrow and the wider ones show two more pixels of the flat box beside it.
        const layout::Rect& wide = layout::kFrequencyDisplay[0];
        const layout::Rect& narrow = layout::kFrequencyDisplay[2];
        const Picture field = displayBackground(style, narrow.width(), narrow.height(),
                                                Backdrop::of(panel, wide.left, wide.top));
        Picture display(wide.width(), wide.height());
        {
            cairo_t* cr = display.context();
            cairo_set_source_surface(cr, panel.surface(), -wide.left, -wide.top);
            cairo_paint(cr);
            cairo_set_source_surface(cr, field.surface(), 0, 0);
            cairo_paint(cr);
        }
        display.save(out, 131);

        // White around the button is left out when it is drawn.
        twoStateButton(style, kSoloWidth, kSoloHeight, Backdrop::keyed(kWhite, style.section)).save(out, 132);

        const layout::Rect& menu = layout::kTypeMenu[0];
        menuBackground(style, menu.width(), menu.height(), Backdrop::of(panel, menu.left, menu.top), false)
            .save(out, 133);

        const layout::Rect& f = layout::kFilterDisplay;
        filterScreen(style, f.width(), f.height(), Backdrop::of(panel, f.left, f.top), 10).save(out, 134);

        // The curves are as high as the display: a level of 1 puts a curve's top at the
        // display's top. The low-pass falls within its last 40 pixels and the high-pass
        // rises within its first 40, so the 18 and 47 pixels left inside at the ends of
        // their travel show the slope; both are as wide as the display, so a pass band
        // always reaches the display's edge.
        const int width = f.width();
        const int height = f.height();
        const double octaves = width / 48.0;
        CurveOptions lowPass;
        lowPass.corner = (width - 40.0) / width;
        lowPass.octaves = octaves;
        lowPass.stages = 2;
        filterCurve(style, Response::lowPass, width, height, kCurveKey, lowPass).save(out, 135);
        CurveOptions bandPass;
        bandPass.corner = 0.5;
        bandPass.octaves = 120 / 48.0;
        bandPass.stages = 3;
        filterCurve(style, Response::bandPass, 120, height, kCurveKey, bandPass).save(out, 136);
        CurveOptions highPass;
        highPass.corner = 40.0 / width;
        highPass.octaves = octaves;
        highPass.stages = 2;
        filterCurve(style, Response::highPass, width, height, kCurveKey, highPass).save(out, 137);
    });
}
