// Knob film strips, two-state buttons, menu, display and filter-screen backgrounds.
#include <cairo.h>

#include <stdexcept>
#include <string>

#include "detail.h"
#include "pieces.h"

namespace orvex::pictures {

using detail::roundedRect;
using detail::source;

namespace {

constexpr double pi = std::numbers::pi;

// Cairo measures angles from 3 o'clock; the knobs from 12 o'clock.
double cairoAngle(double fromTop) { return fromTop - pi / 2; }

void copyInto(Picture& strip, const Picture& frame, int y) {
    cairo_t* cr = strip.context();
    cairo_save(cr);
    cairo_surface_flush(frame.surface());
    cairo_set_source_surface(cr, frame.surface(), 0, y);
    cairo_rectangle(cr, 0, y, frame.width(), frame.height());
    cairo_fill(cr);
    cairo_restore(cr);
}

void drawKnob(cairo_t* cr, const Style& style, double value, double width, double height, const KnobOptions& options) {
    const double cx = width / 2;
    const double cy = height / 2;
    const double radius = (options.size > 0 ? options.size : std::min(width, height)) / 2;
    const double track = std::max(1.5, radius * 0.17);
    const double ring = radius - track / 2 - 0.25;
    const double body = radius - track - std::max(1.0, radius * 0.1);
    const double start = cairoAngle(knobAngle(0));
    const double end = cairoAngle(knobAngle(1));
    const double at = cairoAngle(knobAngle(value));

    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, track);
    cairo_arc(cr, cx, cy, ring, start, end);
    source(cr, style.knobTrack);
    cairo_stroke(cr);
    if (options.valueArc) {
        const double from = options.centredArc ? cairoAngle(0) : start;
        if (std::abs(at - from) > 1e-9) {
            if (at > from) cairo_arc(cr, cx, cy, ring, from, at);
            else cairo_arc_negative(cr, cx, cy, ring, from, at);
            source(cr, style.accent);
            cairo_stroke(cr);
        }
    }

    // The cap: a soft shadow below it, lit from above, with a fine rim.
    cairo_arc(cr, cx, cy + std::max(0.6, radius * 0.06), body + 0.4, 0, 2 * pi);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, body, 0, 2 * pi);
    detail::verticalGradient(cr, cy - body, cy + body, style.knobBody.lighter(0.22), style.knobBody.darker(0.35));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    source(cr, style.knobTrack.withAlpha(0.8));
    cairo_stroke(cr);
    if (body >= 6) {
        cairo_arc(cr, cx, cy, body - 1, cairoAngle(-1.1), cairoAngle(1.1));
        cairo_set_source_rgba(cr, 1, 1, 1, 0.14);
        cairo_stroke(cr);
    }

    const double angle = knobAngle(value);
    const double dx = std::sin(angle);
    const double dy = -std::cos(angle);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, std::max(1.4, radius * 0.16));
    cairo_move_to(cr, cx + dx * body * 0.3, cy + dy * body * 0.3);
    cairo_line_to(cr, cx + dx * body * 0.92, cy + dy * body * 0.92);
    source(cr, style.pointer);
    cairo_stroke(cr);
}

void checkSize(const char* what, int width, int height) {
    if (width <= 0 || height <= 0)
        throw std::runtime_error(std::string(what) + " of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels cannot be drawn");
}

}  // namespace

double knobAngle(double value) { return (std::clamp(value, 0.0, 1.0) - 0.5) * 1.5 * pi; }

Picture knobStrip(const Style& style, int frames, int frameWidth, int frameHeight, const Backdrop& backdrop,
                  const KnobOptions& options) {
    checkSize("a knob frame", frameWidth, frameHeight);
    if (frames < 1 || static_cast<long>(frames) * frameHeight > 32767)
        throw std::runtime_error("a film strip of " + std::to_string(frames) + " frames of " +
                                 std::to_string(frameHeight) + " pixels cannot be drawn");
    Picture strip(frameWidth, frames * frameHeight);
    for (int i = 0; i < frames; ++i) {
        const double value = frames > 1 ? static_cast<double>(i) / (frames - 1) : 0.0;
        const Picture frame = compose(frameWidth, frameHeight, backdrop, [&](cairo_t* cr) {
            drawKnob(cr, style, value, frameWidth, frameHeight, options);
        });
        copyInto(strip, frame, i * frameHeight);
    }
    return strip;
}

Picture twoStateButton(const Style& style, int width, int stateHeight, const Backdrop& backdrop,
                       std::string_view offLabel, std::string_view onLabel) {
    checkSize("a button state", width, stateHeight);
    Picture button(width, 2 * stateHeight);
    for (int on = 0; on < 2; ++on) {
        const std::string_view label = on ? onLabel : offLabel;
        const Picture state = compose(width, stateHeight, backdrop, [&](cairo_t* cr) {
            const double w = width;
            const double h = stateHeight;
            const double r = std::min(3.0, std::min(w, h) / 5);
            roundedRect(cr, 0.5, 1, w - 1, h - 1, r);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
            cairo_fill(cr);
            roundedRect(cr, 0.5, 0.5, w - 1, h - 1.5, r);
            if (on) detail::verticalGradient(cr, 0, h, style.knobBody.darker(0.3), style.knobBody.darker(0.05));
            else detail::verticalGradient(cr, 0, h, style.knobBody.lighter(0.14), style.knobBody.darker(0.25));
            cairo_fill_preserve(cr);
            cairo_set_line_width(cr, 1);
            source(cr, style.sectionEdge);
            cairo_stroke(cr);

            // The lamp: left of the label when there is room, else centred.
            const bool beside = !label.empty() && w >= 1.6 * h;
            const double lamp = std::clamp(std::min(w, h) * 0.14, 1.5, 3.5);
            double lx = w / 2;
            double ly = (h - 1) / 2;
            if (beside) lx = 1 + std::max(3.0, h * 0.3) + lamp;
            else if (!label.empty()) ly = 2 + lamp;
            if (on) {
                cairo_pattern_t* glow = cairo_pattern_create_radial(lx, ly, 0, lx, ly, lamp * 2.6);
                cairo_pattern_add_color_stop_rgba(glow, 0, style.accent.red / 255.0, style.accent.green / 255.0,
                                                  style.accent.blue / 255.0, 0.55);
                cairo_pattern_add_color_stop_rgba(glow, 1, style.accent.red / 255.0, style.accent.green / 255.0,
                                                  style.accent.blue / 255.0, 0);
                cairo_arc(cr, lx, ly, lamp * 2.6, 0, 2 * pi);
                cairo_set_source(cr, glow);
                cairo_fill(cr);
                cairo_pattern_destroy(glow);
            }
            cairo_arc(cr, lx, ly, lamp, 0, 2 * pi);
            source(cr, on ? style.accent.lighter(0.2) : style.accent.darker(0.7));
            cairo_fill(cr);

            if (!label.empty()) {
                const Font font{std::clamp(h * 0.5, 8.0, 13.0), true, 0};
                const double left = beside ? lx + lamp + 1 : 0;
                const double centreY = beside ? ly : (h - 1 + ly + lamp) / 2;
                text(cr, label, (left + w) / 2, centreY, font, on ? style.label : style.dimLabel, Align::centre,
                     Anchor::middle);
            }
        });
        copyInto(button, state, on * stateHeight);
    }
    return button;
}

namespace {

void field(cairo_t* cr, const Style& style, double w, double h, bool recessed) {
    const double r = std::min(2.5, h / 5);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, r);
    if (recessed) detail::verticalGradient(cr, 0, h, style.display.darker(0.1), style.display.lighter(0.06));
    else detail::verticalGradient(cr, 0, h, style.display.lighter(0.12), style.display.darker(0.06));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    source(cr, style.displayEdge.withAlpha(0.9));
    cairo_stroke(cr);
    if (h >= 8 && w >= 8) {
        // A recess is shaded under its top edge; a raised field is lit there.
        cairo_move_to(cr, 1 + r, 1.5);
        cairo_line_to(cr, w - 1 - r, 1.5);
        if (recessed) cairo_set_source_rgba(cr, 0, 0, 0, 0.2);
        else cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
        cairo_stroke(cr);
    }
}

}  // namespace

Picture menuBackground(const Style& style, int width, int height, const Backdrop& backdrop, bool arrow) {
    checkSize("a menu background", width, height);
    return compose(width, height, backdrop, [&](cairo_t* cr) {
        const double w = width;
        const double h = height;
        field(cr, style, w, h, false);
        // Only where a centred entry still has room beside it.
        if (arrow && w >= 4 * h) {
            const double aw = std::clamp(h * 0.42, 4.0, 8.0);
            const double ah = aw * 0.55;
            const double right = w - std::max(3.0, h * 0.3);
            const double top = h / 2 - ah / 2;
            cairo_move_to(cr, right - aw, top);
            cairo_line_to(cr, right, top);
            cairo_line_to(cr, right - aw / 2, top + ah);
            cairo_close_path(cr);
            source(cr, kDisplayText);
            cairo_fill(cr);
        }
    });
}

Picture displayBackground(const Style& style, int width, int height, const Backdrop& backdrop) {
    checkSize("a display background", width, height);
    return compose(width, height, backdrop, [&](cairo_t* cr) { field(cr, style, width, height, true); });
}

Picture filterScreen(const Style& style, int width, int height, const Backdrop& backdrop, int octaves) {
    checkSize("a filter screen", width, height);
    return compose(width, height, backdrop, [&](cairo_t* cr) {
        const double w = width;
        const double h = height;
        const double r = std::min(3.0, std::min(w, h) / 6);
        roundedRect(cr, 0, 0, w, h, r);
        detail::verticalGradient(cr, 0, h, style.screen.lighter(0.04), style.screen.darker(0.14));
        cairo_fill(cr);
        cairo_save(cr);
        roundedRect(cr, 1, 1, w - 2, h - 2, r);
        cairo_clip(cr);
        cairo_set_line_width(cr, 1);
        source(cr, style.screen.lighter(0.2).withAlpha(0.45));
        for (int k = 1; k < octaves; ++k) {
            const double x = std::floor(w * k / octaves) + 0.5;
            cairo_move_to(cr, x, 0);
            cairo_line_to(cr, x, h);
        }
        for (int k = 1; k < 4; ++k) {
            const double y = std::floor(h * k / 4) + 0.5;
            cairo_move_to(cr, 0, y);
            cairo_line_to(cr, w, y);
        }
        cairo_stroke(cr);
        cairo_restore(cr);
        // The glass sits in a dark bezel, shaded under its top edge.
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, r);
        cairo_set_line_width(cr, 1);
        source(cr, style.displayEdge);
        cairo_stroke(cr);
        cairo_move_to(cr, 1 + r, 1.5);
        cairo_line_to(cr, w - 1 - r, 1.5);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
        cairo_stroke(cr);
    });
}

}  // namespace orvex::pictures
