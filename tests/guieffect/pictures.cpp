// The pictures of the toolkit's test editor: one of each kind of piece, at the sizes
// the test editor's controls expect.
#include "pieces.h"

using namespace orvex::pictures;

int main(int argc, char** argv) {
    return generate(argc, argv, [](const std::string& out) {
        const Style style;

        Picture panel(360, 220);
        fillPanel(panel, style);
        cairo_t* cr = panel.context();
        // Room for the test editor's controls: knob, button and menu from y 40, displays
        // at y 90, the filter display at (20, 130) to (220, 190); titles at the right.
        productName(cr, style, "Orvex Toolkit Test", 16, 24, 15);
        vendorMark(cr, style, 344, 24, 10, Align::right);
        divider(cr, style, 12, 32, 348, 32);
        sectionBox(cr, style, {12, 36, 336, 78}, "CONTROLS", Align::right);
        sectionBox(cr, style, {12, 122, 336, 76}, "FILTER", Align::right);
        panel.save(out, 128);

        // Each control sits on the part of the panel under it, so that no square shows
        // around it (the positions are the test editor's).
        knobStrip(style, 31, 40, 40, Backdrop::of(panel, 20, 40)).save(out, 129);
        twoStateButton(style, 40, 20, Backdrop::of(panel, 80, 50), "Off", "On").save(out, 130);
        menuBackground(style, 90, 18, Backdrop::of(panel, 140, 50)).save(out, 131);
        displayBackground(style, 70, 16, Backdrop::of(panel, 20, 90)).save(out, 132);
        filterCurve(style, Response::lowPass, 80, 48).save(out, 133);
        filterCurve(style, Response::bandPass, 80, 48).save(out, 134);
        filterCurve(style, Response::highPass, 80, 48).save(out, 135);
        filterScreen(style, 200, 60, Backdrop::of(panel, 20, 130)).save(out, 136);
    });
}
