// Drawing for the toolkit's views: cairo on an image surface, which the frame copies
// to its window (or writes to a PNG when there is none).
//
// Threads: editor thread only.
#pragma once

#include <string>

#include "geometry.h"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;

namespace orvex::gui {

// Called before the first use of cairo (drawing, loading a picture): cairo and the
// libraries it draws with stay loaded for the life of the process.
void keepDrawingLibrariesLoaded();

// Fonts of the toolkit's list, by index: each is a size of the sans family.
enum CFont : int {
    kSystemFont = 0,
    kNormalFontVeryBig,
    kNormalFontBig,
    kNormalFont,
    kNormalFontSmall,
    kNormalFontSmaller,
    kNormalFontVerySmall,
    kSymbolFont,
    kNumFonts,
};
// Pixel size of each font.
int fontSize(int font);

enum CTxtFace : int { kNormalFace = 0, kBoldFace = 1, kItalicFace = 2 };
enum CHoriTxtAlign : int { kLeftText = 0, kCenterText = 1, kRightText = 2 };

class CDrawContext {
public:
    // Draws onto `surface` (an image surface the caller keeps). Views draw in panel
    // pixels; a surface for a larger scale carries its own device scale, and
    // `pictureScale` (1, 2 or 3) says which drawing of each picture fits it.
    explicit CDrawContext(cairo_surface_t* surface, int pictureScale = 1);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setFillColor(const CColor& color) { fillColor = color; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    void setFontColor(const CColor& color) { fontColor = color; }
    void setFont(int font, int face = kNormalFace);

    void fillRect(const CRect& rect);
    void drawRect(const CRect& rect);  // a one-pixel frame inside `rect`
    void drawLine(const CPoint& from, const CPoint& to);
    // Text inside `rect`, vertically centred, aligned as asked.
    void drawString(const std::string& text, const CRect& rect, int align = kCenterText);
    int getStringWidth(const std::string& text);

    void setClipRect(const CRect& rect);
    void resetClipRect();

    cairo_t* cairo() const { return cr; }
    int pictureScale() const { return scale; }

private:
    void use(const CColor& color);

    cairo_t* cr;
    int scale;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    int fontIndex = kNormalFont;
    int fontFace = kNormalFace;
    int lineWidth = 1;
    bool clipped = false;
};

}  // namespace orvex::gui
