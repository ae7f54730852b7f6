// The part the three-band editors (Orvex Space, Orvex Force) share: the filter display
// that pictures the low, middle and high band filters from each band's frequency and
// level parameter, and the solo buttons that exclude one another.
//
// Threads: editor thread only.
#pragma once

#include <array>

#include "controls.h"
#include "dsp/bandfilter.h"
#include "filterdisplay.h"
#include "host/audioeffect.h"

namespace orvex::gui {

class BandCurves {
public:
    using Indices = std::array<VstInt32, kNumBands>;
    // Which parameter holds each band's crossover frequency, level and solo switch.
    BandCurves(const Indices& frequencies, const Indices& levels, const Indices& solos)
        : frequencies(frequencies), levels(levels), solos(solos) {}

    // Gives `display` its three curves (low-pass as curve 0, high-pass as 2, band-pass as
    // 1, in that order), ramp widths of 47 and the six values from the effect: the high
    // band's curve ends in front. The low-pass travel keeps the width in force when its
    // picture was added.
    void setUp(CFilterDisplay* display, CBitmap* lowPass, CBitmap* bandPass, CBitmap* highPass,
               AudioEffect* effect) const;

    // A changed parameter, brought to the display and the solo buttons; false when it is
    // none of theirs. A frequency or level re-places its curve; a solo refreshes all
    // three buttons (switching one on turns the others off) and brings the soloed band's
    // curve to the front.
    bool refresh(VstInt32 index, CFilterDisplay* display, const std::array<COnOffButton*, kNumBands>& buttons,
                 AudioEffect* effect) const;

    // The display's value slots of a band: position 0/2/4, level 1/3/5.
    static int positionSlot(int band) { return 2 * band; }
    static int levelSlot(int band) { return 2 * band + 1; }

private:
    Indices frequencies;
    Indices levels;
    Indices solos;
};

}  // namespace orvex::gui
