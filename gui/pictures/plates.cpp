// Plates under shared control pictures, and lever switches.
#include <cairo.h>

#include <stdexcept>
#include <string>

#include "detail.h"
#include "pieces.h"

namespace orvex::pictures {

using detail::roundedRect;
using detail::source;

void plate(cairo_t* cr, const Style& style, const Box& box, double radius, const Colour& fill) {
    cairo_save(cr);
    cairo_set_line_width(cr, 1);
    // Rim and lip lie outside the box, so the whole box keeps the one colour.
    roundedRect(cr, box.x - 0.5, box.y + 0.5, box.width + 1, box.height + 1, radius + 0.5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.09);
    cairo_stroke(cr);
    roundedRect(cr, box.x - 0.5, box.y - 0.5, box.width + 1, box.height + 1, radius + 0.5);
    source(cr, style.sectionEdge);
    cairo_stroke(cr);
    roundedRect(cr, box.x, box.y, box.width, box.height, radius);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);  // no blended pixel inside the box
    source(cr, fill);
    cairo_fill(cr);
    cairo_restore(cr);
}

Picture leverSwitch(const Style& style, int width, int stateHeight, const Backdrop& backdrop) {
    if (width < 6 || stateHeight < 12)
        throw std::runtime_error("a lever switch of " + std::to_string(width) + " x " + std::to_string(stateHeight) +
                                 " pixels cannot be drawn");
    Picture out(width, 2 * stateHeight);
    for (int on = 0; on < 2; ++on) {
        const Picture state = compose(width, stateHeight, backdrop, [&](cairo_t* cr) {
            const double w = width;
            const double h = stateHeight;
            const double slotWidth = std::max(4.0, std::round(w * 0.36));
            const double sx = (w - slotWidth) / 2;
            const double sy = 2;
            const double sh = h - 4;
            // The slot, lit from inside when on.
            roundedRect(cr, sx, sy, slotWidth, sh, slotWidth / 2);
            source(cr, style.knobTrack);
            cairo_fill_preserve(cr);
            if (on) {
                cairo_pattern_t* glow = cairo_pattern_create_linear(0, sy, 0, sy + sh);
                cairo_pattern_add_color_stop_rgba(glow, 0, style.accent.red / 255.0, style.accent.green / 255.0,
                                                  style.accent.blue / 255.0, 0.85);
                cairo_pattern_add_color_stop_rgba(glow, 1, style.accent.red / 255.0, style.accent.green / 255.0,
                                                  style.accent.blue / 255.0, 0.15);
                cairo_set_source(cr, glow);
                cairo_fill_preserve(cr);
                cairo_pattern_destroy(glow);
            }
            cairo_set_line_width(cr, 1);
            source(cr, style.sectionEdge);
            cairo_stroke(cr);
            // The lever's cap, at the top when on, at the bottom when off.
            const double capHeight = std::max(6.0, std::round(h * 0.36));
            const double capWidth = w - 2;
            const double cx = 1;
            const double cy = on ? 1 : h - 1 - capHeight;
            roundedRect(cr, cx, cy + 1, capWidth, capHeight, 2.5);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
            cairo_fill(cr);
            roundedRect(cr, cx + 0.5, cy + 0.5, capWidth - 1, capHeight - 1, 2.5);
            detail::verticalGradient(cr, cy, cy + capHeight, style.knobBody.lighter(0.35), style.knobBody.darker(0.2));
            cairo_fill_preserve(cr);
            source(cr, style.sectionEdge);
            cairo_stroke(cr);
            // Grip lines across the cap.
            cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
            for (int k = -1; k <= 1; ++k) {
                const double y = std::floor(cy + capHeight / 2 + 2 * k) + 0.5;
                cairo_move_to(cr, cx + 3, y);
                cairo_line_to(cr, cx + capWidth - 3, y);
            }
            cairo_stroke(cr);
        });
        cairo_t* cr = out.context();
        cairo_save(cr);
        cairo_surface_flush(state.surface());
        cairo_set_source_surface(cr, state.surface(), 0, on * stateHeight);
        cairo_rectangle(cr, 0, on * stateHeight, width, stateHeight);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    return out;
}

}  // namespace orvex::pictures
