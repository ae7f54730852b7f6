// Filter response curves on the editors' transparent colour.
#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "detail.h"
#include "pieces.h"

namespace orvex::pictures {

double responseDb(Response response, double ratio, double q, int stages) {
    ratio = std::max(ratio, 1e-9);
    q = std::max(q, 1e-3);
    const double w2 = ratio * ratio;
    const double denominator = (1 - w2) * (1 - w2) + w2 / (q * q);
    double db = -10 * std::log10(denominator);
    if (response == Response::bandPass) db += 20 * std::log10(ratio / q);
    if (response == Response::highPass) db += 40 * std::log10(ratio);
    return db * std::max(stages, 1);
}

Picture filterCurve(const Style& style, Response response, int width, int height, const Colour& key,
                    const CurveOptions& options) {
    if (width <= 0 || height <= 0)
        throw std::runtime_error("a filter curve of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels cannot be drawn");
    double corner = options.corner;
    if (corner < 0) corner = response == Response::lowPass ? 0.7 : response == Response::bandPass ? 0.5 : 0.3;
    const double w = width;
    const double h = height;
    const double line = std::max(options.lineWidth, 0.5);
    const double range = std::max(options.rangeDb, 1.0);

    // Half-pixel steps over the width and a little beyond, so the line's ends are whole.
    std::vector<double> xs, dbs;
    for (double x = -line; x <= w + line; x += 0.5) {
        xs.push_back(x);
        dbs.push_back(responseDb(response, std::exp2((x / w - corner) * options.octaves), options.q, options.stages));
    }
    double peak = -1e9;
    for (double db : dbs) peak = std::max(peak, db);
    const double top = line / 2 + 0.5;
    const auto yOf = [&](double db) {
        const double y = top + (peak - db) / (peak + range) * (h - top);
        return std::min(y, h + line);  // far down, the line leaves through the bottom
    };

    cairo_surface_t* shape = detail::scaledSurface(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(shape);
    const auto curve = [&] {
        cairo_move_to(cr, xs.front(), yOf(dbs.front()));
        for (std::size_t i = 1; i < xs.size(); ++i) cairo_line_to(cr, xs[i], yOf(dbs[i]));
    };
    if (options.fill) {
        // A glow under the line that fades out within `fillDepth` of the height and by
        // the bottom edge, so that the grid shows through below it, overlapping curves
        // keep their shapes and the corners stay clear.
        cairo_surface_flush(shape);
        unsigned char* data = cairo_image_surface_get_data(shape);
        const int stride = cairo_image_surface_get_stride(shape);
        const Colour& fill = style.curveFill;
        const double depth = std::max(options.fillDepth, 0.01) * h;
        // Pixel columns and rows of the shape at the drawing scale k, measured in 1x units.
        const int k = drawingScale();
        for (int x = 0; x < width * k; ++x) {
            const double ratio = std::exp2(((x + 0.5) / k / w - corner) * options.octaves);
            const double lineY = yOf(responseDb(response, ratio, options.q, options.stages));
            const double reach = std::min(depth, h - lineY);
            for (int y = std::max(0, static_cast<int>(lineY * k)); y < height * k && reach > 0; ++y) {
                const double t = ((y + 0.5) / k - lineY) / reach;
                if (t < 0 || t >= 1) continue;
                const double a = fill.alpha * (1 - t) * (1 - t);
                const auto premultiplied = [&](int c) { return static_cast<std::uint32_t>(std::lround(c * a)); };
                const std::uint32_t p = static_cast<std::uint32_t>(std::lround(255 * a)) << 24 |
                                        premultiplied(fill.red) << 16 | premultiplied(fill.green) << 8 |
                                        premultiplied(fill.blue);
                std::memcpy(data + y * stride + 4 * x, &p, 4);
            }
        }
        cairo_surface_mark_dirty(shape);
    }
    curve();
    cairo_set_line_width(cr, line);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    detail::source(cr, style.curveLine);
    cairo_stroke(cr);
    cairo_destroy(cr);

    // The edges blend with the glass the curve is drawn on, so even faint ones are kept:
    // the glow fades out without a visible step.
    Picture picture(width, height);
    layOnKey(shape, key, style.screen, picture, 8);
    cairo_surface_destroy(shape);
    return picture;
}

}  // namespace orvex::pictures
