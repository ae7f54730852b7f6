#include "drawcontext.h"

#include <cairo.h>
#include <dlfcn.h>

namespace orvex::gui {

// cairo and fontconfig keep caches (fonts, patterns, the font configuration, image
// decoding) in static data for the life of the process. If they were unloaded with our
// library, every unload would lose what they hold, and a host that reloads plug-ins
// would grow by that each time: once used, they stay loaded.
void keepDrawingLibrariesLoaded() {
    static const bool kept = [] {
        for (const char* library : {"libcairo.so.2", "libfontconfig.so.1", "libfreetype.so.6", "libpixman-1.so.0"})
            dlopen(library, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);  // a reference we never drop
        return true;
    }();
    (void)kept;
}

int fontSize(int font) {
    // Font 4 fits the 10 to 16 pixel high displays and menus of the editors, and their
    // longest texts (" Quantize 16" in 68 pixels, "20.00K" in 34) across.
    constexpr int kSizes[kNumFonts] = {12, 18, 14, 12, 10, 9, 8, 12};
    return font >= 0 && font < kNumFonts ? kSizes[font] : kSizes[kNormalFont];
}

CDrawContext::CDrawContext(cairo_surface_t* surface, int pictureScale)
    : cr(cairo_create(surface)), scale(pictureScale) {
    keepDrawingLibrariesLoaded();
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

CDrawContext::~CDrawContext() { cairo_destroy(cr); }

void CDrawContext::setFont(int font, int face) {
    fontIndex = font;
    fontFace = face;
}

void CDrawContext::use(const CColor& color) {
    cairo_set_source_rgb(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
}

void CDrawContext::fillRect(const CRect& rect) {
    use(fillColor);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cr);
}

void CDrawContext::drawRect(const CRect& rect) {
    use(frameColor);
    cairo_set_line_width(cr, lineWidth);
    const double half = lineWidth / 2.0;
    cairo_rectangle(cr, rect.left + half, rect.top + half, rect.width() - lineWidth, rect.height() - lineWidth);
    cairo_stroke(cr);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    use(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_move_to(cr, from.h + 0.5, from.v + 0.5);
    cairo_line_to(cr, to.h + 0.5, to.v + 0.5);
    cairo_stroke(cr);
}

namespace {
void selectFont(cairo_t* cr, int font, int face) {
    cairo_select_font_face(cr, "sans", (face & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (face & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, fontSize(font));
}
}  // namespace

int CDrawContext::getStringWidth(const std::string& text) {
    selectFont(cr, fontIndex, fontFace);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return static_cast<int>(extents.x_advance + 0.5);
}

void CDrawContext::drawString(const std::string& text, const CRect& rect, int align) {
    if (text.empty() || rect.isEmpty()) return;
    selectFont(cr, fontIndex, fontFace);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    double x = rect.left + 2;
    if (align == kCenterText)
        x = rect.left + (rect.width() - extents.x_advance) / 2.0;
    else if (align == kRightText)
        x = rect.right - 2 - extents.x_advance;
    const double baseline = rect.top + (rect.height() + font.ascent - font.descent) / 2.0;
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    use(fontColor);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, text.c_str());
    cairo_restore(cr);
}

void CDrawContext::setClipRect(const CRect& rect) {
    resetClipRect();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    clipped = true;
}

void CDrawContext::resetClipRect() {
    if (!clipped) return;
    cairo_restore(cr);
    clipped = false;
}

}  // namespace orvex::gui
