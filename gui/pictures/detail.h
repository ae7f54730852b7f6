// Small drawing helpers the pieces share; not for the generator programs.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pieces.h"

namespace orvex::pictures::detail {

inline void source(cairo_t* cr, const Colour& c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha);
}

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::clamp(r, 0.0, std::min(w, h) / 2);
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    constexpr double quarter = std::numbers::pi / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -quarter, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, quarter);
    cairo_arc(cr, x + r, y + h - r, r, quarter, 2 * quarter);
    cairo_arc(cr, x + r, y + r, r, 2 * quarter, 3 * quarter);
    cairo_close_path(cr);
}

// A vertical linear gradient from `top` at y0 to `bottom` at y1 as the source.
inline void verticalGradient(cairo_t* cr, double y0, double y1, const Colour& top, const Colour& bottom) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(g, 0, top.red / 255.0, top.green / 255.0, top.blue / 255.0, top.alpha);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.red / 255.0, bottom.green / 255.0, bottom.blue / 255.0,
                                      bottom.alpha);
    cairo_set_source(cr, g);
    cairo_pattern_destroy(g);
}

// An image surface for a width x height area at the drawing scale: scale times the
// pixels each way, drawn on in width x height units.
cairo_surface_t* scaledSurface(cairo_format_t format, int width, int height);

// Fixed font rendering, whatever the machine's fontconfig settings say: grey
// antialiasing, slight hinting, whole-pixel advances.
void useFont(cairo_t* cr, const Font& font);

}  // namespace orvex::pictures::detail
