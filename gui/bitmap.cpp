#include "bitmap.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>

#include "drawcontext.h"
#include "host/entry.h"
#include "pictures.h"

namespace orvex::gui {

namespace {

struct PngReader {
    std::span<const unsigned char> bytes;
    std::size_t position = 0;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes.size() - reader->position < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes.data() + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

// A loaded picture, or null when it is missing or unreadable.
cairo_surface_t* usable(cairo_surface_t* surface) {
    if (surface && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) return surface;
    if (surface) cairo_surface_destroy(surface);
    return nullptr;
}

// Our pictures are opaque or keyed by a colour: every pixel is drawn as an ARGB32 one.
cairo_surface_t* asArgb(cairo_surface_t* loaded) {
    if (cairo_image_surface_get_format(loaded) == CAIRO_FORMAT_ARGB32) return loaded;
    const int w = cairo_image_surface_get_width(loaded);
    const int h = cairo_image_surface_get_height(loaded);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(copy);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(loaded);
    return copy;
}

}  // namespace

std::string CBitmap::resourceFolder() {
    const char* bundle = bundleRef();
    return bundle ? std::string(bundle) + "/Contents/Resources" : std::string();
}

CBitmap::CBitmap(long resource) : resource(resource) {
    keepDrawingLibrariesLoaded();
    char name[32];
    std::snprintf(name, sizeof name, "bmp%05ld.png", resource);
    cairo_surface_t* loaded = nullptr;
    if (const std::string folder = resourceFolder(); !folder.empty())
        loaded = usable(cairo_image_surface_create_from_png((folder + "/" + name).c_str()));
    if (!loaded) {
        const std::span<const unsigned char> bytes = embeddedPicture(static_cast<int>(resource));
        if (!bytes.empty()) {
            PngReader reader{bytes};
            loaded = usable(cairo_image_surface_create_from_png_stream(readPng, &reader));
        }
    }
    if (!loaded) {
        std::fprintf(stderr, "Bitmap Nr.:%d not found.\n", static_cast<int>(resource));
        return;
    }
    adopt(asArgb(loaded));
}

CBitmap::CBitmap(int w, int h) {
    keepDrawingLibrariesLoaded();
    if (w > 0 && h > 0) adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
}

void CBitmap::forget() {
    if (--references == 0) delete this;
}

CBitmap::~CBitmap() {
    if (masked) cairo_surface_destroy(masked);
    if (surface) cairo_surface_destroy(surface);
}

void CBitmap::adopt(cairo_surface_t* loaded) {
    surface = loaded;
    width = cairo_image_surface_get_width(surface);
    height = cairo_image_surface_get_height(surface);
}

CColor CBitmap::pixel(int x, int y) const {
    if (!surface || x < 0 || y < 0 || x >= width || y >= height) return kBlackCColor;
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t argb;
    std::memcpy(&argb, row + 4 * x, 4);
    return {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb), 0};
}

void CBitmap::setTransparentColor(const CColor& color) {
    transparent = color;
    if (masked) {
        cairo_surface_destroy(masked);
        masked = nullptr;
    }
}

void CBitmap::blit(CDrawContext* context, cairo_surface_t* source, const CRect& rect, const CPoint& offset) {
    if (!context || !source || rect.isEmpty()) return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, source, rect.left - offset.h, rect.top - offset.v);
    cairo_paint(cr);
    cairo_restore(cr);
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    blit(context, surface, rect, offset);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!surface) return;
    if (!masked) {
        // Made once per transparent colour: every pixel of exactly that colour becomes
        // fully transparent, the others stay as they are.
        masked = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_surface_flush(surface);
        const unsigned char* from = cairo_image_surface_get_data(surface);
        unsigned char* to = cairo_image_surface_get_data(masked);
        const int fromStride = cairo_image_surface_get_stride(surface);
        const int toStride = cairo_image_surface_get_stride(masked);
        const uint32_t key = 0xFF000000u | (uint32_t{transparent.red} << 16) | (uint32_t{transparent.green} << 8) |
                             transparent.blue;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint32_t argb;
                std::memcpy(&argb, from + y * fromStride + 4 * x, 4);
                if (argb == key) argb = 0;
                std::memcpy(to + y * toStride + 4 * x, &argb, 4);
            }
        }
        cairo_surface_mark_dirty(masked);
    }
    blit(context, masked, rect, offset);
}

}  // namespace orvex::gui
