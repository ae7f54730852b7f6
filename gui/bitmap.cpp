#include "bitmap.h"

#include <cairo.h>
#include <fcntl.h>
#include <png.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "drawcontext.h"
#include "host/entry.h"
#include "pictures.h"

namespace orvex::gui {

// A test program that compiles in only 1x pictures (through embeddedPicture(int)) has
// no other scales; a library's own table (orvex_embed_pictures) replaces this.
[[gnu::weak]] std::span<const unsigned char> embeddedPicture(int number, int scale) {
    if (scale == 1) return embeddedPicture(number);
    return {};
}

// One decoded drawing of a picture at one scale, shared by every bitmap that draws it.
struct CBitmap::Drawing {
    long number = 0;
    int scale = 1;
    int holders = 0;
    cairo_surface_t* surface = nullptr;  // with device scale `scale`
    // The drawing with one colour left out, per transparent colour asked for.
    std::vector<std::pair<uint32_t, cairo_surface_t*>> masks;
};

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

std::string fileName(long number, int scale) {
    char name[32];
    if (scale == 1) std::snprintf(name, sizeof name, "bmp%05ld.png", number);
    else std::snprintf(name, sizeof name, "bmp%05ld@%dx.png", number, scale);
    return name;
}

// Width and height from the start of a PNG file (its signature and IHDR chunk).
bool pngSize(const unsigned char* bytes, std::size_t size, int& width, int& height) {
    static const unsigned char start[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (size < 24 || std::memcmp(bytes, start, sizeof start) != 0) return false;
    const auto big = [&](int at) {
        return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
               static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    const uint32_t w = big(16);
    const uint32_t h = big(20);
    if (w == 0 || h == 0 || w > 32767 || h > 32767) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// Surface memory is mapped with its pages populated at once: a panel's drawing is
// megabytes, and filling it row by row would otherwise take a page fault every 4 KiB.
// Unmapped when cairo destroys the surface, so nothing outlives the last editor.
struct Mapping {
    void* at;
    std::size_t size;
};

const cairo_user_data_key_t mappingKey{};

void unmap(void* data) {
    auto* mapping = static_cast<Mapping*>(data);
    ::munmap(mapping->at, mapping->size);
    delete mapping;
}

// A blank ARGB32 surface of w x h pixels, or null.
cairo_surface_t* freshSurface(int w, int h) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, w);
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(h);
    void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (at == MAP_FAILED) return nullptr;
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(static_cast<unsigned char*>(at), CAIRO_FORMAT_ARGB32, w, h, stride);
    auto* mapping = new Mapping{at, size};
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(surface, &mappingKey, mapping, unmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        unmap(mapping);
        return nullptr;
    }
    return surface;
}

struct PngSource {
    std::span<const unsigned char> bytes;
    std::size_t position = 0;
};

void pngRead(png_structp png, png_bytep data, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->bytes.size() - source->position < length) png_error(png, "truncated");
    std::memcpy(data, source->bytes.data() + source->position, length);
    source->position += length;
}

void pngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarned(png_structp, png_const_charp) {}

// The PNG `bytes` decoded straight into an opaque ARGB32 surface, row by row; null when
// it is not an 8-bit RGB picture without interlacing (the form the build draws; cairo's
// reader takes any other, a reskin with transparency say) or does not decode. `trusted`: the build's own
// copy, already checked when it was made, so its checksums are not computed again.
cairo_surface_t* decodePng(std::span<const unsigned char> bytes, bool trusted) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFailed, pngWarned);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    PngSource source{bytes};
    // Volatile: read again after a longjmp from inside libpng.
    cairo_surface_t* volatile surface = nullptr;
    cairo_surface_t* volatile result = nullptr;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, pngRead);
        if (trusted) {
            png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
            png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
        }
        png_read_info(png, info);
        png_uint_32 w = 0;
        png_uint_32 h = 0;
        int depth = 0;
        int type = 0;
        int interlace = 0;
        png_get_IHDR(png, info, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
        if (std::endian::native == std::endian::little && depth == 8 && type == PNG_COLOR_TYPE_RGB && interlace == PNG_INTERLACE_NONE &&
            !png_get_valid(png, info, PNG_INFO_tRNS) && w <= 32767 && h <= 32767) {
            // Little-endian ARGB32 is B, G, R, A in memory; every pixel opaque.
            png_set_bgr(png);
            png_set_filler(png, 0xff, PNG_FILLER_AFTER);
            png_read_update_info(png, info);
            surface = freshSurface(static_cast<int>(w), static_cast<int>(h));
            if (surface) {
                unsigned char* data = cairo_image_surface_get_data(surface);
                const int stride = cairo_image_surface_get_stride(surface);
                for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, data + static_cast<std::size_t>(y) * stride, nullptr);
                cairo_surface_mark_dirty(surface);
                result = surface;
                surface = nullptr;
            }
        }
    }
    if (surface) cairo_surface_destroy(surface);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return result;
}

// A file's bytes, or empty when it cannot be read.
std::vector<unsigned char> fileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return bytes;
    if (const off_t size = ::lseek(file, 0, SEEK_END); size > 0 && ::lseek(file, 0, SEEK_SET) == 0) {
        bytes.resize(static_cast<std::size_t>(size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(file, bytes.data() + got, bytes.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(file);
    return bytes;
}

// Any PNG through cairo's own reader, as ARGB32; null when it does not decode.
cairo_surface_t* decodeByCairo(std::span<const unsigned char> bytes) {
    PngReader reader{bytes};
    cairo_surface_t* loaded = usable(cairo_image_surface_create_from_png_stream(readPng, &reader));
    return loaded ? asArgb(loaded) : nullptr;
}

cairo_surface_t* decodeAny(std::span<const unsigned char> bytes, bool trusted) {
    if (bytes.empty()) return nullptr;
    if (cairo_surface_t* direct = decodePng(bytes, trusted)) return direct;
    return decodeByCairo(bytes);
}

// Picture `number` at `scale`: the file in `folder` (the Resources folder, or empty for
// none), else the compiled-in one; null when neither decodes.
cairo_surface_t* decode(const std::string& folder, long number, int scale) {
    cairo_surface_t* loaded = nullptr;
    if (!folder.empty()) {
        const std::vector<unsigned char> bytes = fileBytes(folder + "/" + fileName(number, scale));
        const std::span<const unsigned char> built = embeddedPicture(static_cast<int>(number), scale);
        // The build's own copy in the bundle is checked like the compiled-in one; a
        // user's reskin has its checksums checked.
        const bool own = !bytes.empty() && bytes.size() == built.size() &&
                         std::memcmp(bytes.data(), built.data(), bytes.size()) == 0;
        loaded = decodeAny(bytes, own);
    }
    if (!loaded) loaded = decodeAny(embeddedPicture(static_cast<int>(number), scale), true);
    if (!loaded) return nullptr;
    // Drawn on a context scaled by `scale`, it lands pixel for pixel.
    if (scale > 1) cairo_surface_set_device_scale(loaded, scale, scale);
    return loaded;
}

// `from` with every pixel of exactly the opaque colour `key` made fully transparent.
cairo_surface_t* maskOf(cairo_surface_t* from, uint32_t key) {
    const int w = cairo_image_surface_get_width(from);
    const int h = cairo_image_surface_get_height(from);
    cairo_surface_t* masked = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(from);
    const unsigned char* source = cairo_image_surface_get_data(from);
    unsigned char* to = cairo_image_surface_get_data(masked);
    const int fromStride = cairo_image_surface_get_stride(from);
    const int toStride = cairo_image_surface_get_stride(masked);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t argb;
            std::memcpy(&argb, source + y * fromStride + 4 * x, 4);
            if (argb == key) argb = 0;
            std::memcpy(to + y * toStride + 4 * x, &argb, 4);
        }
    }
    cairo_surface_mark_dirty(masked);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(from, &sx, &sy);
    cairo_surface_set_device_scale(masked, sx, sy);
    return masked;
}

// This library's decoded drawings. Editor threads only; locked so that two instances'
// editors on different threads of some host cannot race.
struct Cache {
    std::mutex lock;
    std::vector<CBitmap::Drawing*> drawings;
};

Cache& cache() {
    static Cache shared;
    return shared;
}

// The drawing of `number` at `scale`, decoded when no bitmap holds it yet; null when
// that scale is missing. The caller holds it until `release`.
// The cached drawing of (number, scale) with one more holder, or null.
CBitmap::Drawing* holdCached(Cache& c, long number, int scale) {
    for (CBitmap::Drawing* d : c.drawings) {
        if (d->number == number && d->scale == scale) {
            ++d->holders;
            return d;
        }
    }
    return nullptr;
}

CBitmap::Drawing* acquire(long number, int scale) {
    Cache& c = cache();
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (CBitmap::Drawing* d = holdCached(c, number, scale)) return d;
    }
    // Decoded without the lock, so that an editor's pictures decode side by side; of
    // two threads decoding the same picture, the first to finish is kept.
    cairo_surface_t* surface = decode(CBitmap::resourceFolder(), number, scale);
    if (!surface) return nullptr;
    std::lock_guard<std::mutex> hold(c.lock);
    if (CBitmap::Drawing* d = holdCached(c, number, scale)) {
        cairo_surface_destroy(surface);
        return d;
    }
    auto* d = new CBitmap::Drawing{number, scale, 1, surface, {}};
    c.drawings.push_back(d);
    return d;
}

void release(CBitmap::Drawing* d) {
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    if (--d->holders > 0) return;
    std::erase(c.drawings, d);
    for (auto& [key, masked] : d->masks) cairo_surface_destroy(masked);
    cairo_surface_destroy(d->surface);
    delete d;
}

uint32_t keyOf(const CColor& colour) {
    return 0xFF000000u | (uint32_t{colour.red} << 16) | (uint32_t{colour.green} << 8) | colour.blue;
}

}  // namespace

std::string CBitmap::resourceFolder() {
    const char* bundle = bundleRef();
    return bundle ? std::string(bundle) + "/Contents/Resources" : std::string();
}

CBitmap::CBitmap(long resource) : resource(resource) {
    keepDrawingLibrariesLoaded();
    // Only the size, from the 1x picture's header, in the order the drawing is looked
    // up; decoding waits until it is drawn.
    bool found = false;
    if (const std::string folder = resourceFolder(); !folder.empty()) {
        // Plain system calls: no stream buffer is allocated for 24 bytes.
        const std::string path = folder + "/" + fileName(resource, 1);
        if (const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); file >= 0) {
            unsigned char header[24] = {};
            if (::read(file, header, sizeof header) == static_cast<ssize_t>(sizeof header))
                found = pngSize(header, sizeof header, width, height);
            ::close(file);
        }
    }
    if (!found) {
        const std::span<const unsigned char> bytes = embeddedPicture(static_cast<int>(resource));
        found = pngSize(bytes.data(), bytes.size(), width, height);
    }
    if (!found) {
        width = height = 0;
        std::fprintf(stderr, "Bitmap Nr.:%d not found.\n", static_cast<int>(resource));
    }
}

CBitmap::CBitmap(int w, int h) {
    keepDrawingLibrariesLoaded();
    if (w > 0 && h > 0) {
        own = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        width = w;
        height = h;
    }
}

void CBitmap::forget() {
    if (--references == 0) delete this;
}

CBitmap::~CBitmap() {
    releaseDrawings();
    if (ownMasked) cairo_surface_destroy(ownMasked);
    if (own) cairo_surface_destroy(own);
}

void CBitmap::releaseDrawings() {
    // A missing scale holds the 1x drawing in its place: each slot is one hold.
    for (Drawing*& d : held) {
        if (d) release(d);
        d = nullptr;
    }
}

std::size_t CBitmap::decodedDrawings() {
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    return c.drawings.size();
}

CBitmap::Drawing* CBitmap::drawing(int scale) const {
    if (own || width == 0) return nullptr;
    scale = scale >= 3 ? 3 : scale <= 1 ? 1 : 2;
    if (!held[scale]) {
        held[scale] = acquire(resource, scale);
        // No drawing at this scale at all: the 1x one, enlarged.
        if (!held[scale] && scale > 1) held[scale] = acquire(resource, 1);
    }
    return held[scale];
}

cairo_surface_t* CBitmap::getSurface() const {
    if (own) return own;
    const Drawing* d = drawing(1);
    return d ? d->surface : nullptr;
}

int CBitmap::drawingWidth(int scale) const {
    if (own) return width;
    const Drawing* d = drawing(scale);
    return d ? cairo_image_surface_get_width(d->surface) : 0;
}

CColor CBitmap::pixel(int x, int y, int scale) const {
    cairo_surface_t* surface = own;
    if (!own) {
        const Drawing* d = drawing(scale);
        surface = d ? d->surface : nullptr;
    }
    if (!surface || x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) ||
        y >= cairo_image_surface_get_height(surface))
        return kBlackCColor;
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t argb;
    std::memcpy(&argb, row + 4 * x, 4);
    return {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb), 0};
}

void CBitmap::setTransparentColor(const CColor& color) {
    transparent = color;
    if (ownMasked) {
        cairo_surface_destroy(ownMasked);
        ownMasked = nullptr;
    }
}

cairo_surface_t* CBitmap::surfaceFor(CDrawContext* context, bool masked) const {
    if (own) {
        if (!masked) return own;
        if (!ownMasked) ownMasked = maskOf(own, keyOf(transparent));
        return ownMasked;
    }
    Drawing* d = drawing(context->pictureScale());
    if (!d) return nullptr;
    if (!masked) return d->surface;
    // Made once per drawing and transparent colour, for every bitmap that shares them.
    const uint32_t key = keyOf(transparent);
    std::lock_guard<std::mutex> hold(cache().lock);
    for (const auto& [k, surface] : d->masks)
        if (k == key) return surface;
    d->masks.emplace_back(key, maskOf(d->surface, key));
    return d->masks.back().second;
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
    if (!context) return;
    blit(context, surfaceFor(context, false), rect, offset);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!context) return;
    blit(context, surfaceFor(context, true), rect, offset);
}

}  // namespace orvex::gui
