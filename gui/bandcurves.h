// The part the three-band editors (Orvex Space, Orvex Force) share: the filter display
// that pictures the low, middle and high band filters from each band's frequency and
// level parameter, and the solo buttons that exclude one another.
//
// Threads: editor thread only.
#pragma once

#include <array>

#include "dsp/bandfilter.h"
#include "editor.h"
#include "filterdisplay.h"
#include "host/audioeffect.h"

namespace orvex::gui {

class BandCurves {
public:
    using Indices = std::array<VstInt32, kNumBands>;
    // Which parameter holds each band's crossover frequency, level and solo switch.
    BandCurves(const Indices& frequencies, const Indices& levels, const Indices& solos)
        : frequencies(frequencies), levels(levels), solos(solos) {}

    // The filter display of `row`: its picture is the glass, the next three the
    // low-pass, band-pass and high-pass curves (curve 0, 1 and 2; the high band's ends
    // in front), with ramp widths of 47 and the six values from the effect.
    CFilterDisplay* make(const PanelRow& row, PanelEditor& editor) const;

    // A changed parameter, brought to the display and the solo buttons; false when it is
    // none of theirs. A frequency or level re-places its curve; a solo refreshes all
    // three buttons (switching one on turns the others off) and brings the soloed band's
    // curve to the front.
    bool refresh(VstInt32 index, CFilterDisplay* display, PanelEditor& editor) const;

    // The display's value slots of a band: position 0/2/4, level 1/3/5.
    static int positionSlot(int band) { return 2 * band; }
    static int levelSlot(int band) { return 2 * band + 1; }

private:
    Indices frequencies;
    Indices levels;
    Indices solos;
};

}  // namespace orvex::gui
