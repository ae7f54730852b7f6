// Drawing pieces for the editors' pictures: panels, knob film strips, two-state
// buttons, menu and display backgrounds, filter curves. Only the generator programs
// that run at build time use them (cairo, no window system, no toolkit); the
// plug-ins load the PNG files those programs write.
//
// Every piece draws the same pixels from the same arguments, so a build writes the
// same bytes every time: no clocks, no randomness that is not seeded, fonts and font
// options fixed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gui/panel.h"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;

namespace orvex::pictures {

// An 8-bit colour with an opacity for drawing (pictures themselves are opaque).
struct Colour {
    int red = 0;
    int green = 0;
    int blue = 0;
    double alpha = 1.0;

    // `amount` 0 gives this colour, 1 gives `other` (rounded to 8 bits).
    Colour mix(const Colour& other, double amount) const;
    Colour lighter(double amount) const;  // towards white
    Colour darker(double amount) const;   // towards black
    Colour withAlpha(double opacity) const;
    bool sameAs(const Colour& other) const {  // the 8-bit values, not the opacity
        return red == other.red && green == other.green && blue == other.blue;
    }
};

// The colour behind the curve pictures that the editors leave out when drawing them.
inline constexpr Colour kCurveKey{gui::kCurveKey.red, gui::kCurveKey.green, gui::kCurveKey.blue};
// The colour of the texts the editors print on displays and menus.
inline constexpr Colour kDisplayText{gui::kHouseText.red, gui::kHouseText.green, gui::kHouseText.blue};

// One look shared by every piece of a product: a dark panel, light labels, one accent.
struct Style {
    Colour panelTop{54, 58, 64};
    Colour panelBottom{34, 37, 42};
    Colour section{44, 48, 54};      // fill of a section box
    Colour sectionEdge{24, 26, 30};  // its frame
    Colour label{226, 230, 234};     // text on the panel
    Colour dimLabel{150, 158, 166};  // secondary text on the panel
    Colour accent{242, 164, 52};     // value arcs, lit buttons, the product's mark
    Colour knobBody{70, 75, 82};
    Colour knobTrack{20, 22, 25};
    Colour pointer{240, 242, 244};
    // Displays and menus, where kDisplayText reads.
    Colour display{gui::kHouseField.red, gui::kHouseField.green, gui::kHouseField.blue};
    Colour displayEdge{20, 22, 25};
    Colour screen = kCurveKey;           // the filter display's glass, so curve edges blend in
    Colour curveLine{232, 238, 196};     // the filter curves
    Colour curveFill{130, 190, 186, 0.55};

    // The house style with another accent colour.
    static Style withAccent(const Colour& accent);
};

// The scale the pictures are being drawn at: 1, 2 or 3 (`generate` sets it for each
// run of a generator's drawing). A Picture of width x height then holds scale times
// the pixels each way, and every drawing call on it stays in its width x height units
// (cairo's device scale), so the same code draws every scale: text, curves and edges
// at the finer pixels, nothing enlarged.
int drawingScale();
// Sets the drawing scale (1 to 3) for the Pictures made after it; throws otherwise.
void setDrawingScale(int scale);

// An opaque picture being drawn at the drawing scale; `save` writes it as PNG.
class Picture {
public:
    Picture(int width, int height);
    ~Picture();
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other) noexcept;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // The size in 1x units; the surface has scale() times the pixels each way.
    int width() const { return w; }
    int height() const { return h; }
    int scale() const { return k; }
    cairo_surface_t* surface() const { return image; }
    // A drawing context on the picture (owned by the picture), in 1x units.
    cairo_t* context() const { return cr; }
    // The 8-bit colour at (x, y) in 1x units (the top left pixel of that unit at a
    // larger scale); black outside the picture.
    Colour pixel(int x, int y) const;

    // Writes `directory`/bmpNNNNN.png (bmpNNNNN@2x.png, bmpNNNNN@3x.png when drawn at
    // scale 2 or 3); throws std::runtime_error when it cannot.
    void save(const std::string& directory, int number) const;

private:
    int w = 0;
    int h = 0;
    int k = 1;
    cairo_surface_t* image = nullptr;
    cairo_t* cr = nullptr;
};

// What a control picture sits on: a plain colour, or the part of another picture
// (the panel) at (x, y), so that a control drawn opaquely matches the panel under it.
// With a key, everything around the control is exactly the key colour (the editor
// leaves it out when drawing) and the control's soft edges are blended with `colour`.
struct Backdrop {
    Colour colour{};
    const Picture* picture = nullptr;
    int x = 0;
    int y = 0;
    std::optional<Colour> key = std::nullopt;

    static Backdrop plain(const Colour& colour) { return {colour}; }
    static Backdrop of(const Picture& panel, int x, int y) { return {{}, &panel, x, y}; }
    static Backdrop keyed(const Colour& key, const Colour& edges) { return {edges, nullptr, 0, 0, key}; }
};

// A control drawn with alpha into a width x height area (pixels (0, 0) to
// (width, height)), then laid onto its backdrop.
Picture compose(int width, int height, const Backdrop& backdrop, const std::function<void(cairo_t*)>& draw);

// Lays an alpha picture (premultiplied ARGB) onto the key colour: pixels less than
// `threshold` / 255 opaque become exactly `key`, the others are blended with `edges`
// and never come out exactly `key` (one step off in green), so the editor keeps every
// pixel of the shape and leaves out all the rest. `into` is an opaque picture of the
// same size.
void layOnKey(cairo_surface_t* shape, const Colour& key, const Colour& edges, Picture& into, int threshold = 48);

// ---- Panels ----------------------------------------------------------------------

struct Box {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// The panel background: a vertical gradient with a faint brushed grain, a light top
// edge and a dark bottom edge, screws in the corners when `screws`.
void fillPanel(Picture& panel, const Style& style, bool screws = true);

// A thin horizontal or vertical divider line from (x0, y0) to (x1, y1).
void divider(cairo_t* cr, const Style& style, double x0, double y0, double x1, double y1);

enum class Align { left, centre, right };

// A recessed box that groups controls, with an optional title at its top left or right
// (where the controls leave room).
void sectionBox(cairo_t* cr, const Style& style, const Box& box, std::string_view title = {},
                Align titleAlign = Align::left);
enum class Anchor { baseline, middle, top };  // what `y` is: the baseline, the middle of the capitals, their top

struct Font {
    double size = 11;  // pixels per em
    bool bold = false;
    double tracking = 0;  // extra pixels between letters
};

// Text in fontconfig's "sans" (DejaVu Sans on Debian) at (x, y); returns its width.
double text(cairo_t* cr, std::string_view words, double x, double y, const Font& font, const Colour& colour,
            Align align = Align::left, Anchor anchor = Anchor::baseline);
// The width `text` would draw.
double textWidth(cairo_t* cr, std::string_view words, const Font& font);
// The product name as lettering: its first word bold in the label colour, the rest
// light in the dim label colour, on a shadow. Returns its width.
double productName(cairo_t* cr, const Style& style, std::string_view name, double x, double y, double size,
                   Align align = Align::left);
// The vendor's mark: "Harmoxel" spaced out, after a small accent-coloured emblem.
double vendorMark(cairo_t* cr, const Style& style, double x, double y, double size, Align align = Align::right);

// ---- Knobs -----------------------------------------------------------------------

// The pointer's angle in radians, clockwise from 12 o'clock, for a value 0..1: the
// usual 270 degrees, from lower left (-135 degrees) through the top to lower right.
double knobAngle(double value);

struct KnobOptions {
    bool valueArc = true;    // the accent-coloured arc from the start to the value
    bool centredArc = false; // the arc from the top instead (for pan and balance knobs)
    double size = 0;         // the knob's diameter in pixels; 0 for the frame's smaller side
};

// A vertical film strip of `frames` frames of frameWidth x frameHeight (so
// frameWidth x frames * frameHeight), frame i showing the value i / (frames - 1).
Picture knobStrip(const Style& style, int frames, int frameWidth, int frameHeight, const Backdrop& backdrop,
                  const KnobOptions& options = {});

// ---- Buttons, menus, displays ----------------------------------------------------

// A two-state button: the off state in the top half (width x stateHeight), the on
// state below it, each with a lamp and the state's label (none when empty).
Picture twoStateButton(const Style& style, int width, int stateHeight, const Backdrop& backdrop,
                       std::string_view offLabel = {}, std::string_view onLabel = {});

// A menu's background: a light field with a frame, and a small arrow at the right
// when the menu is wide enough for it and `arrow` is set; the editor prints the entry.
Picture menuBackground(const Style& style, int width, int height, const Backdrop& backdrop, bool arrow = true);
// A value display's background: a light recessed field; the editor prints the value.
Picture displayBackground(const Style& style, int width, int height, const Backdrop& backdrop);
// The filter display's background: the glass with a grid of octaves and levels.
Picture filterScreen(const Style& style, int width, int height, const Backdrop& backdrop, int octaves = 8);

// ---- Plates and lever switches -----------------------------------------------------

// A flat plate of one colour set into the panel: a rounded box (a disc when `radius`
// is half its side) with a dark rim and a lit lower lip just outside it. Controls whose
// picture is used at several places on a panel sit on plates of the same colour and
// are drawn over Backdrop::plain(fill), so no square shows around any of them.
void plate(cairo_t* cr, const Style& style, const Box& box, double radius, const Colour& fill);

// A two-state lever switch: the off state (lever down) in the top half (width x
// stateHeight), the on state (lever up, its slot lit in the accent colour) below it.
Picture leverSwitch(const Style& style, int width, int stateHeight, const Backdrop& backdrop);

// ---- Filter curves ---------------------------------------------------------------

enum class Response { lowPass, bandPass, highPass };

// The level in decibels of a two-pole response at `ratio` = frequency / corner
// frequency with resonance `q` (0.707 flat), `stages` of them in series.
double responseDb(Response response, double ratio, double q, int stages = 1);

struct CurveOptions {
    double corner = -1;    // the corner (peak) frequency's x as a share of the width; -1: 0.7 / 0.5 / 0.3
    double octaves = 6;    // octaves across the width
    double q = 1.2;        // resonance
    int stages = 1;        // two-pole stages
    double rangeDb = 18;   // decibels below the peak down to the bottom edge, where the line leaves
    double lineWidth = 1.6;
    bool fill = true;      // a glow under the line, in the style's curve fill colour
    double fillDepth = 0.25; // how far down the glow reaches, as a share of the height
};

// A response curve over its own width x height picture whose background is exactly
// `key` (the editor's transparent colour) and in which no pixel of the curve or its
// fill is: the curve's top touches the picture's top, it falls towards the bottom.
Picture filterCurve(const Style& style, Response response, int width, int height, const Colour& key = kCurveKey,
                    const CurveOptions& options = {});

// ---- Generator programs ----------------------------------------------------------

// The body of a generator's main (usage: generator DIRECTORY [SCALE...]): checks that
// argv[1] names a writable directory, calls `draw` with it once for each scale given
// (1 alone when none is; the build asks for every scale the editors draw at) with the
// drawing scale set, reports an error on the standard error stream, and releases
// cairo's and fontconfig's caches. Returns main's exit code.
int generate(int argc, char** argv, const std::function<void(const std::string& directory)>& draw);

// Lets go of the font caches cairo and fontconfig keep for the process's lifetime, so
// that a leak checker's report is about the program; no piece may be drawn after it.
void releaseCaches();

}  // namespace orvex::pictures
