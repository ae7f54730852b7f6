// The editor's pictures are decoded only when an editor draws them, once for every
// instance of the library, and freed when the last editor closes: instances made
// through the VST 2.x entry, editors opened and closed through the dispatcher, drawn as
// their window would draw them on an expose.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>

#include "gui/bitmap.h"
#include "gui/drawcontext.h"
#include "gui/editor.h"
#include "gui/pictures.h"
#include "host/audioeffect.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

using namespace orvex::gui;

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

CFrame* frameOf(AEffect* effect) {
    auto* editor = static_cast<AEffGUIEditor*>(orvex::AudioEffect::fromRecord(effect)->getEditor());
    return editor->getFrame();
}

struct Bytes {
    std::span<const unsigned char> bytes;
    std::size_t at = 0;
};

// The PNG as cairo's own reader decodes it, as the ARGB32 pixels an editor draws.
cairo_surface_t* cairoDecoded(std::span<const unsigned char> png) {
    Bytes source{png};
    cairo_surface_t* read = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* s = static_cast<Bytes*>(closure);
            if (s->bytes.size() - s->at < length) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, s->bytes.data() + s->at, length);
            s->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &source);
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(read),
                                                       cairo_image_surface_get_height(read));
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, read, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(read);
    cairo_surface_flush(argb);
    return argb;
}

}  // namespace

// Every compiled-in picture at every scale, as a bitmap draws it: the pixels cairo's
// PNG reader gives, alpha included.
TEST(PannerPictures, DrawnWithThePixelsCairoDecodesAtEveryScale) {
    int pictures = 0;
    for (int number = 0; number < 100000; ++number) {
        if (embeddedPicture(number).empty()) continue;
        ++pictures;
        CBitmap* bitmap = new CBitmap(number);
        for (int scale = 1; scale <= 3; ++scale) {
            cairo_surface_t* expected = cairoDecoded(embeddedPicture(number, scale));
            const int w = cairo_image_surface_get_width(expected);
            const int h = cairo_image_surface_get_height(expected);
            ASSERT_EQ(w, scale * bitmap->getWidth()) << number;
            ASSERT_EQ(bitmap->drawingWidth(scale), w) << number;
            const unsigned char* data = cairo_image_surface_get_data(expected);
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t argb;
                    std::memcpy(&argb, data + y * cairo_image_surface_get_stride(expected) + 4 * x, 4);
                    const CColor c = bitmap->pixel(x, y, scale);
                    wrong += c.red != uint8_t(argb >> 16) || c.green != uint8_t(argb >> 8) || c.blue != uint8_t(argb);
                }
            EXPECT_EQ(wrong, 0) << "picture " << number << " at " << scale << "x";
            cairo_surface_destroy(expected);
        }
        // Alpha too, where a bitmap hands out its drawing (the 1x one).
        cairo_surface_t* expected = cairoDecoded(embeddedPicture(number));
        cairo_surface_t* got = bitmap->getSurface();
        cairo_surface_flush(got);
        const int h = cairo_image_surface_get_height(expected);
        const int stride = cairo_image_surface_get_stride(expected);
        ASSERT_EQ(cairo_image_surface_get_stride(got), stride);
        EXPECT_EQ(std::memcmp(cairo_image_surface_get_data(got), cairo_image_surface_get_data(expected),
                              static_cast<std::size_t>(stride) * h),
                  0)
            << number;
        cairo_surface_destroy(expected);
        bitmap->forget();
    }
    EXPECT_GT(pictures, 10);
    EXPECT_EQ(CBitmap::decodedDrawings(), 0u);
}

TEST(PannerPictures, DecodedWhenAnEditorDrawsSharedByInstancesFreedAtTheLastClose) {
    AEffect* first = VSTPluginMain(&host);
    AEffect* second = VSTPluginMain(&host);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ERect* rect = nullptr;
    ASSERT_EQ(first->dispatcher(first, effEditGetRect, 0, 0, &rect, 0), 1);
    EXPECT_EQ(rect->right - rect->left, 548);  // the panel's size, known without decoding
    EXPECT_EQ(rect->bottom - rect->top, 386);
    EXPECT_EQ(CBitmap::decodedDrawings(), 0u);

    ASSERT_EQ(first->dispatcher(first, effEditOpen, 0, 0, nullptr, 0), 1);
    frameOf(first)->draw();
    const std::size_t oneScale = CBitmap::decodedDrawings();
    EXPECT_GT(oneScale, 10u);

    ASSERT_EQ(second->dispatcher(second, effEditOpen, 0, 0, nullptr, 0), 1);
    frameOf(second)->draw();
    EXPECT_EQ(CBitmap::decodedDrawings(), oneScale);

    // Drawn at scale 2, the 2x drawings join them (each 2x the pixels each way).
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2 * 548, 2 * 386);
    cairo_surface_set_device_scale(surface, 2, 2);
    {
        CDrawContext twice(surface, 2);
        frameOf(second)->draw(&twice);
    }
    cairo_surface_destroy(surface);
    EXPECT_EQ(CBitmap::decodedDrawings(), 2 * oneScale);
    EXPECT_EQ(frameOf(second)->getBackground()->drawingWidth(2), 2 * 548);

    first->dispatcher(first, effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(CBitmap::decodedDrawings(), 2 * oneScale);
    second->dispatcher(second, effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(CBitmap::decodedDrawings(), 0u);

    // Opened again, drawn again: decoded again.
    ASSERT_EQ(first->dispatcher(first, effEditOpen, 0, 0, nullptr, 0), 1);
    frameOf(first)->draw();
    EXPECT_EQ(CBitmap::decodedDrawings(), oneScale);
    first->dispatcher(first, effClose, 0, 0, nullptr, 0);  // with the editor open
    second->dispatcher(second, effClose, 0, 0, nullptr, 0);
    EXPECT_EQ(CBitmap::decodedDrawings(), 0u);
}
