// The distortion editor's pictures, drawn at build time around its panel rows
// (layout.h): the panel with its labels, the large and small knob strips, the
// read-outs' background, the solo button, the type menus' background, the filter
// display's glass and its low-pass, band-pass and high-pass curves.
#include <cairo.h>

#include <cmath>
#include <numbers>

#include "layout.h"
#include "detail.h"
#include "pieces.h"

using namespace orvex::pictures;
namespace layout = orvex::distortion::layout;
using orvex::gui::PanelKind;
using orvex::gui::PanelRect;

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

double centreOf(const PanelRect& r) { return (r.left + r.right) / 2.0; }
double middleOf(const PanelRect& r) { return (r.top + r.bottom) / 2.0; }

using namespace orvex::distortion;
const PanelRect& at(long tag, PanelKind kind = PanelKind::knob) {
    return orvex::gui::rowOf(layout::kRows, tag, kind).rect;
}

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
    const PanelRect& f = at(layout::kFilterDisplayTag, PanelKind::own);
    sectionBox(cr, style, {f.left - 6.0, f.top - 6.0, f.width() + 12.0, f.height() + 12.0});

    // Mix, at the top right.
    flatBox(cr, style, kMixBox);
    const PanelRect& mix = at(kMix);
    text(cr, "Mix", centreOf(mix), mix.bottom + 12, kLabel, style.label, Align::centre);
    text(cr, "dry", mix.left - 4, mix.bottom - 1, kSmall, style.dimLabel, Align::right);
    text(cr, "wet", mix.right + 4, mix.bottom - 1, kSmall, style.dimLabel, Align::left);

    for (int band = 0; band < 3; ++band) {
        const double dx = band * kBandStep;
        flatBox(cr, style, {kBandBox.x + dx, kBandBox.y, kBandBox.width, kBandBox.height});
        text(cr, kBandNames[band], kBandBox.x + dx + 8, kBandBox.y + 6, kHeading, style.label, Align::left,
             Anchor::top);

        // A band's parameters are four apart, but its frequency and drive.
        const int step = 4 * band;
        const PanelRect& freq = at(kLowFreq + band);
        text(cr, "Freq", centreOf(freq), freq.top - 7, kLabel, style.label, Align::centre, Anchor::middle);
        const PanelRect& input = at(kLowInputLevel + step);
        text(cr, "Input", centreOf(input), input.top - 8, kLabel, style.label, Align::centre, Anchor::middle);
        const PanelRect& output = at(kLowOutputLevel + step);
        text(cr, "Output", centreOf(output), output.top - 8, kLabel, style.label, Align::centre, Anchor::middle);
        const PanelRect& drive = at(kLowDrive + band);
        text(cr, "Drive", centreOf(drive), drive.top - 8, kLabel, style.label, Align::centre, Anchor::middle);
        const PanelRect& solo = at(kLowSolo + step, PanelKind::keyedButton);
        text(cr, "Solo", solo.left - 5, middleOf(solo), kLabel, style.label, Align::right, Anchor::middle);
        const PanelRect& type = at(kLowType + step, PanelKind::menu);
        text(cr, "Type", type.left - 5, middleOf(type), kLabel, style.label, Align::right, Anchor::middle);
    }
    return panel;
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style = Style::withAccent({236, 98, 56});
        const Picture panel = drawPanel(style);
        panel.save(out, layout::kPanel);

        // Every control picture is drawn on the panel under the low band's control (or
        // the only one), and the band boxes are flat inside, so it matches in every
        // column.
        for (int knob : {kLowFreq, kLowOutputLevel}) {
            const orvex::gui::PanelRow& k = orvex::gui::rowOf(layout::kRows, knob, PanelKind::knob);
            knobStrip(style, k.frames, k.rect.width(), k.frameHeight, Backdrop::of(panel, k.rect.left, k.rect.top))
                .save(out, k.picture);
        }

        // The read-outs: the high band's is two pixels narrower, so the field is drawn
        // that narrow and the wider ones show two more pixels of the flat box beside it.
        const PanelRect& wide = at(kLowFreq, PanelKind::display);
        const PanelRect& narrow = at(kHighFreq, PanelKind::display);
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
        display.save(out, layout::kDisplayBack);

        // White around the button is left out when it is drawn.
        const PanelRect& solo = at(kLowSolo, PanelKind::keyedButton);
        twoStateButton(style, solo.width(), solo.height(), Backdrop::keyed(kWhite, style.section))
            .save(out, layout::kSoloButton);

        const PanelRect& menu = at(kLowType, PanelKind::menu);
        menuBackground(style, menu.width(), menu.height(), Backdrop::of(panel, menu.left, menu.top), false)
            .save(out, layout::kMenuBack);

        const PanelRect& f = at(layout::kFilterDisplayTag, PanelKind::own);
        filterScreen(style, f.width(), f.height(), Backdrop::of(panel, f.left, f.top), 10)
            .save(out, layout::kFilterBack);

        // The curves are as high as the display: a level of 1 puts a curve's top at the
        // display's top. The low-pass falls within its last 40 pixels and the high-pass
        // rises within its first 40, so the 18 and 47 pixels left inside at the ends of
        // their travel show the slope; both are as wide as the display, so a pass band
        // always reaches the display's edge.
        const int width = f.width();
        const int height = f.height();
        const double octaves = width / 48.0;
        filterCurve(style, Response::lowPass, width, height, kCurveKey,
                    {.corner = (width - 40.0) / width, .octaves = octaves, .stages = 2})
            .save(out, layout::kFilterBack + 1);
        filterCurve(style, Response::bandPass, 120, height, kCurveKey,
                    {.corner = 0.5, .octaves = 120 / 48.0, .stages = 3})
            .save(out, layout::kFilterBack + 2);
        filterCurve(style, Response::highPass, width, height, kCurveKey,
                    {.corner = 40.0 / width, .octaves = octaves, .stages = 2})
            .save(out, layout::kFilterBack + 3);
    });
}
