// The editor's pictures are decoded only when an editor draws them, once for every
// instance of the library, and freed when the last editor closes: instances made
// through the VST 2.x entry, editors opened and closed through the dispatcher, drawn as
// their window would draw them on an expose.
#include <gtest/gtest.h>

#include <cairo.h>

#include "gui/bitmap.h"
#include "gui/drawcontext.h"
#include "gui/editor.h"
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

}  // namespace

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
