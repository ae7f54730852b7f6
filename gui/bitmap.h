// Pictures by resource number: bmpNNNNN.png from the bundle's Resources folder (so a
// user can reskin an editor), else the copy compiled into the library; drawn at 1x, 2x
// and 3x (bmpNNNNN@2x.png, bmpNNNNN@3x.png), the drawing that fits the context's
// picture scale. Shared by reference count between the editor and its controls.
//
// Making a CBitmap decodes nothing: its size comes from the 1x PNG's header. A drawing
// is decoded when it is first drawn, prepared or its pixels read, and held in one cache per
// library, shared by every bitmap of every instance that draws it and freed when the
// last of them lets go (the bitmap is deleted or `releaseDrawings` is called).
//
// Threads: editor thread only (created in an editor's constructor or open; the cache
// is locked, so editors driven from different threads are safe too). Never the audio
// thread.
#pragma once

#include <cstddef>
#include <string>

#include "geometry.h"

using cairo_surface_t = struct _cairo_surface;

namespace orvex::gui {

class CDrawContext;

class CBitmap {
public:
    // Picture `resource`, not yet decoded; a missing one says "Bitmap Nr.:%d not
    // found." on the standard error stream and is 0 x 0, drawing nothing.
    explicit CBitmap(long resource);
    // A blank picture of the given size (all pixels transparent black), its own and
    // drawn as it is at every scale.
    CBitmap(int width, int height);

    void remember() { ++references; }
    // Drops one reference; the last one deletes the picture.
    void forget();
    int getNbReference() const { return references; }

    long getResourceId() const { return resource; }
    // The size in panel (1x) pixels, at every scale.
    int getWidth() const { return width; }
    int getHeight() const { return height; }

    // Pixels of exactly this colour are left out by `drawTransparent`.
    void setTransparentColor(const CColor& color);
    CColor getTransparentColor() const { return transparent; }

    // Copies the part of the picture that starts at `offset` into `rect`, from the
    // drawing for the context's picture scale.
    void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = {});
    void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = {});

    // The pixel at (x, y) of the 1x picture, for tests and the picture tools; black outside.
    CColor pixel(int x, int y) const { return pixel(x, y, 1); }
    // The pixel at (x, y) of the drawing used at `scale` (1, 2 or 3), counted in that
    // drawing's own pixels; black outside.
    CColor pixel(int x, int y, int scale) const;
    // How many pixels wide the drawing used at `scale` is (the 1x picture's width when
    // that scale is missing and the 1x one is enlarged instead).
    int drawingWidth(int scale) const;
    // The 1x picture (decoded now if it is not yet).
    cairo_surface_t* getSurface() const;

    // Decodes the drawing for `scale` now rather than at the first draw. Any thread, for
    // one bitmap at a time: an editor decodes several at once before it first draws.
    void prepare(int scale) const { drawing(scale); }
    // Lets go of the decoded drawings this bitmap holds; they are decoded again when
    // it is next drawn. An editor calls it on its background when it closes.
    void releaseDrawings();
    // How many drawings this library holds decoded, for all its bitmaps together.
    static std::size_t decodedDrawings();

    // Where pictures are looked up before the compiled-in copies: the bundle's
    // Contents/Resources folder, or empty when the library sits in no bundle.
    static std::string resourceFolder();

    struct Drawing;  // a decoded drawing in the cache (bitmap.cpp)

private:
    ~CBitmap();
    // The drawing for `scale`, decoded and taken from the cache on first use; null when
    // the picture is missing or blank.
    Drawing* drawing(int scale) const;
    cairo_surface_t* surfaceFor(CDrawContext* context, bool masked) const;
    void blit(CDrawContext* context, cairo_surface_t* source, const CRect& rect, const CPoint& offset);

    long resource = 0;
    int references = 1;
    int width = 0;
    int height = 0;
    CColor transparent = kTransparentCColor;
    mutable Drawing* held[4] = {};  // by scale, 1 to 3
    cairo_surface_t* own = nullptr;  // a blank bitmap's picture
    mutable cairo_surface_t* ownMasked = nullptr;
};

}  // namespace orvex::gui
