// Pictures by resource number: bmpNNNNN.png from the bundle's Resources folder (so a
// user can reskin an editor), else the copy compiled into the library. Shared by
// reference count between the editor and its controls.
//
// Threads: editor thread only (created in an editor's constructor or open).
#pragma once

#include <string>

#include "geometry.h"

using cairo_surface_t = struct _cairo_surface;

namespace orvex::gui {

class CDrawContext;

class CBitmap {
public:
    // Loads picture `resource`; a missing one says "Bitmap Nr.:%d not found." on the
    // standard error stream and is 0 x 0, drawing nothing.
    explicit CBitmap(long resource);
    // A blank picture of the given size (all pixels transparent black).
    CBitmap(int width, int height);

    void remember() { ++references; }
    // Drops one reference; the last one deletes the picture.
    void forget();
    int getNbReference() const { return references; }

    long getResourceId() const { return resource; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }

    // Pixels of exactly this colour are left out by `drawTransparent`.
    void setTransparentColor(const CColor& color);
    CColor getTransparentColor() const { return transparent; }

    // Copies the part of the picture that starts at `offset` into `rect`.
    void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = {});
    void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = {});

    // The pixel at (x, y), for tests and the picture tools; black outside.
    CColor pixel(int x, int y) const;
    cairo_surface_t* getSurface() const { return surface; }

    // Where pictures are looked up before the compiled-in copies: the bundle's
    // Contents/Resources folder, or empty when the library sits in no bundle.
    static std::string resourceFolder();

private:
    ~CBitmap();
    void adopt(cairo_surface_t* loaded);
    void blit(CDrawContext* context, cairo_surface_t* source, const CRect& rect, const CPoint& offset);

    long resource = 0;
    int references = 1;
    int width = 0;
    int height = 0;
    CColor transparent = kTransparentCColor;
    cairo_surface_t* surface = nullptr;
    cairo_surface_t* masked = nullptr;  // the picture with the transparent colour left out
};

}  // namespace orvex::gui
