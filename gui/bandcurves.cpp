#include "bandcurves.h"

namespace orvex::gui {

CFilterDisplay* BandCurves::make(const PanelRow& row, PanelEditor& editor) const {
    auto* display = new CFilterDisplay(rectOf(row.rect), &editor, row.tag, editor.picture(row.picture));
    const CColor key{kCurveKey.red, kCurveKey.green, kCurveKey.blue, 0};
    for (int curve : {CFilterDisplay::kLowPass, CFilterDisplay::kHighPass, CFilterDisplay::kBandPass}) {
        CBitmap* picture = editor.picture(row.picture + 1 + curve);
        picture->setTransparentColor(key);
        display->addFilterBitmap(curve, picture);
    }
    for (int curve : {CFilterDisplay::kLowPass, CFilterDisplay::kHighPass, CFilterDisplay::kBandPass})
        display->setRampWidth(curve, 47);
    for (int band = 0; band < kNumBands; ++band) {
        display->setValue(editor.parameters().get(frequencies[band]), positionSlot(band));
        display->setValue(editor.parameters().get(levels[band]), levelSlot(band));
    }
    return display;
}

bool BandCurves::refresh(VstInt32 index, CFilterDisplay* display, PanelEditor& editor) const {
    for (int band = 0; band < kNumBands; ++band) {
        int slot = -1;
        if (index == frequencies[band]) {
            slot = positionSlot(band);
        } else if (index == levels[band]) {
            slot = levelSlot(band);
        } else if (index == solos[band]) {
            for (VstInt32 solo : solos) editor.refresh(solo);
            // Re-placing the band's curve where it is brings it to the front.
            if (display) {
                display->setValue(display->getValue(levelSlot(band)), levelSlot(band));
                display->setDirty(true);
            }
            return true;
        } else {
            continue;
        }
        if (display) {
            display->setValue(editor.parameters().get(index), slot);
            display->setDirty(true);
        }
        return true;
    }
    return false;
}

}  // namespace orvex::gui
