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
        productName(cr, style, "Orvex Toolkit Test", 16, 27, 17);
        vendorMark(cr, style, 344, 27, 10, Align::right);
        divider(cr, style, 12, 38, 348, 38);
        sectionBox(cr, style, {12, 46, 336, 80}, "CONTROLS");
        sectionBox(cr, style, {12, 132, 336, 78}, "FILTER");
        panel.save(out, 128);

        const Backdrop onSection = Backdrop::plain(style.section);
        knobStrip(style, 31, 40, 40, onSection).save(out, 129);
        twoStateButton(style, 40, 20, onSection, "Off", "On").save(out, 130);
        menuBackground(style, 90, 18, onSection).save(out, 131);
        displayBackground(style, 70, 16, onSection).save(out, 132);
        filterCurve(style, Response::lowPass, 80, 48).save(out, 133);
        filterCurve(style, Response::bandPass, 80, 48).save(out, 134);
        filterCurve(style, Response::highPass, 80, 48).save(out, 135);
        filterScreen(style, 200, 60, onSection).save(out, 136);
    });
}
