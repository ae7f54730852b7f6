#include "bandcurves.h"

namespace orvex::gui {

void BandCurves::setUp(CFilterDisplay* display, CBitmap* lowPass, CBitmap* bandPass, CBitmap* highPass,
                       AudioEffect* effect) const {
    display->addFilterBitmap(CFilterDisplay::kLowPass, lowPass);
    display->addFilterBitmap(CFilterDisplay::kHighPass, highPass);
    display->addFilterBitmap(CFilterDisplay::kBandPass, bandPass);
    for (int curve : {CFilterDisplay::kLowPass, CFilterDisplay::kHighPass, CFilterDisplay::kBandPass})
        display->setRampWidth(curve, 47);
    for (int band = 0; band < kNumBands; ++band) {
        display->setValue(effect->getParameter(frequencies[band]), positionSlot(band));
        display->setValue(effect->getParameter(levels[band]), levelSlot(band));
    }
}

bool BandCurves::refresh(VstInt32 index, CFilterDisplay* display, const std::array<COnOffButton*, kNumBands>& buttons,
                         AudioEffect* effect) const {
    for (int band = 0; band < kNumBands; ++band) {
        int slot = -1;
        if (index == frequencies[band]) {
            slot = positionSlot(band);
        } else if (index == levels[band]) {
            slot = levelSlot(band);
        } else if (index == solos[band]) {
            for (int b = 0; b < kNumBands; ++b)
                if (buttons[b]) buttons[b]->setValue(effect->getParameter(solos[b]));
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
            display->setValue(effect->getParameter(index), slot);
            display->setDirty(true);
        }
        return true;
    }
    return false;
}

}  // namespace orvex::gui
