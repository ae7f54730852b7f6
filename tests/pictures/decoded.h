// A PNG decoded with cairo, for looking at its pixels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <span>

struct Rgb {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

class Decoded {
public:
    explicit Decoded(std::span<const unsigned char> png) : rest(png) {
        surface = cairo_image_surface_create_from_png_stream(&Decoded::read, this);
        if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_flush(surface);
        }
    }
    ~Decoded() { cairo_surface_destroy(surface); }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;

    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return ok() ? cairo_image_surface_get_width(surface) : 0; }
    int height() const { return ok() ? cairo_image_surface_get_height(surface) : 0; }
    Rgb at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        std::uint32_t p;
        std::memcpy(&p, row + 4 * x, 4);
        return {static_cast<int>(p >> 16 & 0xff), static_cast<int>(p >> 8 & 0xff), static_cast<int>(p & 0xff)};
    }
    // Whether the rows y0..y0+h of the two pictures hold the same pixels.
    bool sameRows(int y0, const Decoded& other, int y1, int h) const {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < width(); ++x)
                if (!(at(x, y0 + y) == other.at(x, y1 + y))) return false;
        return true;
    }

private:
    static cairo_status_t read(void* self, unsigned char* data, unsigned int length) {
        auto* d = static_cast<Decoded*>(self);
        if (length > d->rest.size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, d->rest.data(), length);
        d->rest = d->rest.subspan(length);
        return CAIRO_STATUS_SUCCESS;
    }

    std::span<const unsigned char> rest;
    cairo_surface_t* surface = nullptr;
};
