// Colours, pictures, backdrops and the generator's frame.
#include "detail.h"
#include "pieces.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex::pictures {

namespace {

int clamp8(double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); }

int currentScale = 1;

}  // namespace

int drawingScale() { return currentScale; }

void setDrawingScale(int scale) {
    if (scale < 1 || scale > 3) throw std::runtime_error("pictures are drawn at scale 1, 2 or 3, not " + std::to_string(scale));
    currentScale = scale;
}

cairo_surface_t* detail::scaledSurface(cairo_format_t format, int width, int height) {
    const int k = drawingScale();
    cairo_surface_t* surface = cairo_image_surface_create(format, width * k, height * k);
    // At 1x the surface is left exactly as cairo makes it, so 1x pictures stay as they were.
    if (k > 1) cairo_surface_set_device_scale(surface, k, k);
    return surface;
}

Colour Colour::mix(const Colour& other, double amount) const {
    return {clamp8(red + (other.red - red) * amount), clamp8(green + (other.green - green) * amount),
            clamp8(blue + (other.blue - blue) * amount), alpha + (other.alpha - alpha) * amount};
}

Colour Colour::lighter(double amount) const { return mix({255, 255, 255, alpha}, amount); }
Colour Colour::darker(double amount) const { return mix({0, 0, 0, alpha}, amount); }
Colour Colour::withAlpha(double opacity) const { return {red, green, blue, opacity}; }

Style Style::withAccent(const Colour& accent) {
    Style style;
    style.accent = accent;
    return style;
}

// ---- Picture ---------------------------------------------------------------------

Picture::Picture(int width, int height) : w(width), h(height), k(drawingScale()) {
    if (width <= 0 || height <= 0 || width * k > 32767 || height * k > 32767)
        throw std::runtime_error("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels cannot be drawn");
    image = detail::scaledSurface(CAIRO_FORMAT_RGB24, width, height);
    cr = cairo_create(image);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(image);
        throw std::runtime_error("cairo could not make a picture of " + std::to_string(width) + " x " +
                                 std::to_string(height) + " pixels");
    }
    // Black until drawn, rather than whatever the allocation held.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
}

Picture::~Picture() {
    if (cr) cairo_destroy(cr);
    if (image) cairo_surface_destroy(image);
}

Picture::Picture(Picture&& other) noexcept
    : w(other.w), h(other.h), k(other.k), image(std::exchange(other.image, nullptr)), cr(std::exchange(other.cr, nullptr)) {}

Picture& Picture::operator=(Picture&& other) noexcept {
    if (this != &other) {
        if (cr) cairo_destroy(cr);
        if (image) cairo_surface_destroy(image);
        w = other.w;
        h = other.h;
        k = other.k;
        image = std::exchange(other.image, nullptr);
        cr = std::exchange(other.cr, nullptr);
    }
    return *this;
}

Colour Picture::pixel(int x, int y) const {
    if (!image || x < 0 || y < 0 || x >= w || y >= h) return {};
    cairo_surface_flush(image);
    const unsigned char* row = cairo_image_surface_get_data(image) + y * k * cairo_image_surface_get_stride(image);
    std::uint32_t p;
    std::memcpy(&p, row + 4 * x * k, 4);
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
}

void Picture::save(const std::string& directory, int number) const {
    if (number < 0 || number > 99999) throw std::runtime_error("picture number " + std::to_string(number) + " has more than five digits");
    char name[24];
    if (k == 1) std::snprintf(name, sizeof name, "bmp%05d.png", number);
    else std::snprintf(name, sizeof name, "bmp%05d@%dx.png", number, k);
    const std::string path = directory + "/" + name;
    cairo_surface_flush(image);
    const cairo_status_t status = cairo_surface_write_to_png(image, path.c_str());
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot write " + path + ": " + cairo_status_to_string(status));
}

// ---- Backdrops -------------------------------------------------------------------

namespace {

void paintBackdrop(cairo_t* cr, const Backdrop& backdrop) {
    if (backdrop.picture) {
        cairo_surface_flush(backdrop.picture->surface());
        cairo_set_source_surface(cr, backdrop.picture->surface(), -backdrop.x, -backdrop.y);
    } else {
        cairo_set_source_rgb(cr, backdrop.colour.red / 255.0, backdrop.colour.green / 255.0, backdrop.colour.blue / 255.0);
    }
    cairo_paint(cr);
}

}  // namespace

void layOnKey(cairo_surface_t* shape, const Colour& key, const Colour& edges, Picture& into, int threshold) {
    // Pixel by pixel, at whatever scale both are drawn.
    const int w = cairo_image_surface_get_width(into.surface());
    const int h = cairo_image_surface_get_height(into.surface());
    if (cairo_image_surface_get_width(shape) != w || cairo_image_surface_get_height(shape) != h ||
        cairo_image_surface_get_format(shape) != CAIRO_FORMAT_ARGB32)
        throw std::runtime_error("layOnKey: the shape and the picture differ in size or format");
    cairo_surface_flush(shape);
    cairo_surface_flush(into.surface());
    const unsigned char* from = cairo_image_surface_get_data(shape);
    unsigned char* to = cairo_image_surface_get_data(into.surface());
    const int fromStride = cairo_image_surface_get_stride(shape);
    const int toStride = cairo_image_surface_get_stride(into.surface());
    const std::uint32_t keyed = 0xff000000u | static_cast<std::uint32_t>(key.red) << 16 |
                                static_cast<std::uint32_t>(key.green) << 8 | static_cast<std::uint32_t>(key.blue);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t p;
            std::memcpy(&p, from + y * fromStride + 4 * x, 4);
            const int a = static_cast<int>(p >> 24);
            std::uint32_t out = keyed;
            if (a >= threshold) {
                // Premultiplied: colour = shape + edges x (1 - alpha).
                const double rest = (255 - a) / 255.0;
                const int r = clamp8(((p >> 16) & 0xff) + edges.red * rest);
                int g = clamp8(((p >> 8) & 0xff) + edges.green * rest);
                const int b = clamp8((p & 0xff) + edges.blue * rest);
                if (r == key.red && g == key.green && b == key.blue) g += g < 255 ? 1 : -1;
                out = 0xff000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
                      static_cast<std::uint32_t>(b);
            }
            std::memcpy(to + y * toStride + 4 * x, &out, 4);
        }
    }
    cairo_surface_mark_dirty(into.surface());
}

Picture compose(int width, int height, const Backdrop& backdrop, const std::function<void(cairo_t*)>& draw) {
    Picture picture(width, height);
    cairo_surface_t* shape = detail::scaledSurface(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(shape);
    draw(cr);
    cairo_destroy(cr);
    if (backdrop.key) {
        layOnKey(shape, *backdrop.key, backdrop.colour, picture);
    } else {
        cairo_t* out = picture.context();
        cairo_save(out);
        paintBackdrop(out, backdrop);
        cairo_set_source_surface(out, shape, 0, 0);
        cairo_paint(out);
        cairo_restore(out);
    }
    cairo_surface_destroy(shape);
    return picture;
}

// ---- Generator programs ----------------------------------------------------------

int generate(int argc, char** argv, const std::function<void(const std::string& directory)>& draw) {
    int code = 0;
    struct stat info {};
    std::vector<int> scales;
    bool usable = argc >= 2;
    for (int i = 2; i < argc; ++i) {
        const std::string_view s = argv[i];
        usable = usable && s.size() == 1 && s[0] >= '1' && s[0] <= '3';
        if (usable) scales.push_back(s[0] - '0');
    }
    if (scales.empty()) scales.push_back(1);
    if (!usable) {
        std::fprintf(stderr,
                     "usage: %s DIRECTORY [SCALE...]\n  draws the pictures as bmpNNNNN.png into DIRECTORY, and as\n"
                     "  bmpNNNNN@2x.png and bmpNNNNN@3x.png at twice and three times the pixels for scales 2 and 3\n",
                     argc > 0 ? argv[0] : "generator");
        code = 2;
    } else if (stat(argv[1], &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "%s: %s is not a directory\n", argv[0], argv[1]);
        code = 2;
    } else {
        try {
            for (int scale : scales) {
                setDrawingScale(scale);
                draw(argv[1]);
            }
            setDrawingScale(1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
            code = 1;
        }
    }
    releaseCaches();
    return code;
}

void releaseCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace orvex::pictures
