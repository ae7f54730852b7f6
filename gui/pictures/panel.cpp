// Panel backgrounds, section boxes and lettering.
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "detail.h"
#include "pieces.h"

namespace orvex::pictures {

using detail::roundedRect;
using detail::source;

void detail::useFont(cairo_t* cr, const Font& font) {
    cairo_select_font_face(cr, "sans", CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

namespace {

// The text split into its characters (UTF-8 sequences), for letter spacing.
std::vector<std::string> characters(std::string_view words) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < words.size();) {
        std::size_t n = 1;
        const auto lead = static_cast<unsigned char>(words[i]);
        if (lead >= 0xf0) n = 4;
        else if (lead >= 0xe0) n = 3;
        else if (lead >= 0xc0) n = 2;
        n = std::min(n, words.size() - i);
        out.emplace_back(words.substr(i, n));
        i += n;
    }
    return out;
}

double advance(cairo_t* cr, const std::string& s) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
}

// A small seeded generator: the panel's grain is the same every build.
struct Grain {
    std::uint32_t state = 0x2545f491u;
    double next() {  // 0..1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (state & 0xffffffu) / 16777216.0;
    }
};

void screw(cairo_t* cr, double x, double y, double r, double slot) {
    cairo_arc(cr, x, y + 0.6, r + 0.6, 0, 2 * std::numbers::pi);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_fill(cr);
    cairo_pattern_t* g = cairo_pattern_create_radial(x - r * 0.4, y - r * 0.5, 0, x, y, r);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.62, 0.64, 0.67);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.30, 0.32, 0.35);
    cairo_arc(cr, x, y, r, 0, 2 * std::numbers::pi);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_line_width(cr, std::max(1.0, r * 0.35));
    cairo_set_source_rgba(cr, 0.12, 0.13, 0.14, 0.9);
    cairo_move_to(cr, x - std::cos(slot) * r * 0.7, y - std::sin(slot) * r * 0.7);
    cairo_line_to(cr, x + std::cos(slot) * r * 0.7, y + std::sin(slot) * r * 0.7);
    cairo_stroke(cr);
}

}  // namespace

void fillPanel(Picture& panel, const Style& style, bool screws) {
    cairo_t* cr = panel.context();
    const double w = panel.width();
    const double h = panel.height();
    cairo_save(cr);
    detail::verticalGradient(cr, 0, h, style.panelTop, style.panelBottom);
    cairo_paint(cr);
    // Brushed grain: one faint line per row, lighter or darker by chance.
    Grain grain;
    cairo_set_line_width(cr, 1);
    for (int y = 0; y < panel.height(); ++y) {
        const double v = grain.next();
        cairo_set_source_rgba(cr, v > 0.5 ? 1 : 0, v > 0.5 ? 1 : 0, v > 0.5 ? 1 : 0, std::abs(v - 0.5) * 0.05);
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, w, y + 0.5);
        cairo_stroke(cr);
    }
    // Light catches the top edge; the bottom edge falls into shadow.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.16);
    cairo_move_to(cr, 0, 0.5);
    cairo_line_to(cr, w, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_move_to(cr, 0, h - 0.5);
    cairo_line_to(cr, w, h - 0.5);
    cairo_stroke(cr);
    if (screws && w >= 60 && h >= 60) {
        const double r = std::clamp(std::min(w, h) / 60, 2.5, 4.0);
        const double in = r + 4;
        screw(cr, in, in, r, 0.5);
        screw(cr, w - in, in, r, 1.9);
        screw(cr, in, h - in, r, 2.6);
        screw(cr, w - in, h - in, r, 0.9);
    }
    cairo_restore(cr);
}

void sectionBox(cairo_t* cr, const Style& style, const Box& box, std::string_view title, Align titleAlign) {
    cairo_save(cr);
    const double r = std::min(4.0, std::min(box.width, box.height) / 6);
    // The lower lip catches light, as a recess does.
    roundedRect(cr, box.x + 0.5, box.y + 1.5, box.width - 1, box.height - 1, r);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    roundedRect(cr, box.x + 0.5, box.y + 0.5, box.width - 1, box.height - 1, r);
    detail::verticalGradient(cr, box.y, box.y + box.height, style.section.darker(0.12), style.section);
    cairo_fill_preserve(cr);
    source(cr, style.sectionEdge);
    cairo_stroke(cr);
    if (!title.empty()) {
        const Font font{std::clamp(box.height / 8, 9.0, 11.0), true, 0.6};
        const double x = titleAlign == Align::left    ? box.x + 7
                         : titleAlign == Align::right ? box.x + box.width - 7
                                                      : box.x + box.width / 2;
        text(cr, title, x, box.y + 5, font, style.dimLabel, titleAlign, Anchor::top);
    }
    cairo_restore(cr);
}

void divider(cairo_t* cr, const Style& style, double x0, double y0, double x1, double y1) {
    cairo_save(cr);
    cairo_set_line_width(cr, 1);
    const bool across = std::abs(y1 - y0) < std::abs(x1 - x0);
    source(cr, style.sectionEdge);
    cairo_move_to(cr, std::floor(x0) + 0.5, std::floor(y0) + 0.5);
    cairo_line_to(cr, std::floor(x1) + 0.5, std::floor(y1) + 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_move_to(cr, std::floor(x0) + (across ? 0.5 : 1.5), std::floor(y0) + (across ? 1.5 : 0.5));
    cairo_line_to(cr, std::floor(x1) + (across ? 0.5 : 1.5), std::floor(y1) + (across ? 1.5 : 0.5));
    cairo_stroke(cr);
    cairo_restore(cr);
}

double textWidth(cairo_t* cr, std::string_view words, const Font& font) {
    cairo_save(cr);
    detail::useFont(cr, font);
    double width = 0;
    const auto letters = characters(words);
    for (const std::string& letter : letters) width += advance(cr, letter);
    if (!letters.empty()) width += font.tracking * static_cast<double>(letters.size() - 1);
    cairo_restore(cr);
    return width;
}

double text(cairo_t* cr, std::string_view words, double x, double y, const Font& font, const Colour& colour,
            Align align, Anchor anchor) {
    const double width = textWidth(cr, words, font);
    cairo_save(cr);
    detail::useFont(cr, font);
    if (align == Align::centre) x -= width / 2;
    if (align == Align::right) x -= width;
    if (anchor != Anchor::baseline) {
        cairo_text_extents_t capital;
        cairo_text_extents(cr, "H", &capital);
        const double cap = -capital.y_bearing;
        y += anchor == Anchor::middle ? cap / 2 : cap;
    }
    source(cr, colour);
    double at = x;
    for (const std::string& letter : characters(words)) {
        cairo_move_to(cr, at, y);
        cairo_show_text(cr, letter.c_str());
        at += advance(cr, letter) + font.tracking;
    }
    cairo_restore(cr);
    return width;
}

double productName(cairo_t* cr, const Style& style, std::string_view name, double x, double y, double size,
                   Align align) {
    const std::size_t space = name.find(' ');
    const std::string_view first = name.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view{} : name.substr(space);
    const Font bold{size, true, size * 0.04};
    const Font light{size, false, 0};
    const double width = textWidth(cr, first, bold) + (rest.empty() ? 0 : textWidth(cr, rest, light));
    if (align == Align::centre) x -= width / 2;
    if (align == Align::right) x -= width;
    const Colour shadow{0, 0, 0, 0.55};
    const double w1 = textWidth(cr, first, bold);
    text(cr, first, x, y + 1, bold, shadow);
    text(cr, first, x, y, bold, style.label);
    if (!rest.empty()) {
        text(cr, rest, x + w1, y + 1, light, shadow);
        text(cr, rest, x + w1, y, light, style.dimLabel);
    }
    return width;
}

double vendorMark(cairo_t* cr, const Style& style, double x, double y, double size, Align align) {
    const Font font{size, true, size * 0.18};
    const double emblem = size * 0.78;  // a diamond as high as a capital
    const double gap = size * 0.45;
    const double width = emblem + gap + textWidth(cr, "Harmoxel", font);
    if (align == Align::centre) x -= width / 2;
    if (align == Align::right) x -= width;
    cairo_save(cr);
    cairo_text_extents_t capital;
    detail::useFont(cr, font);
    cairo_text_extents(cr, "H", &capital);
    const double mid = y + capital.y_bearing / 2;  // halfway up the capitals
    cairo_move_to(cr, x + emblem / 2, mid - emblem / 2);
    cairo_line_to(cr, x + emblem, mid);
    cairo_line_to(cr, x + emblem / 2, mid + emblem / 2);
    cairo_line_to(cr, x, mid);
    cairo_close_path(cr);
    source(cr, style.accent);
    cairo_fill(cr);
    cairo_restore(cr);
    text(cr, "Harmoxel", x + emblem + gap, y + 1, font, {0, 0, 0, 0.5});
    text(cr, "Harmoxel", x + emblem + gap, y, font, style.dimLabel);
    return width;
}

}  // namespace orvex::pictures
