// What every state-variable filter of the plug-ins shows alike, whichever arithmetic
// it runs on: the five responses and their names, the choice mapping of the type
// control, and the names and units of the controls 4 to 8.
#pragma once

#include "component.h"

namespace orvex::svf {

enum Response : int { kLowPass = 0, kBandPass = 1, kHiPass = 2, kNotch = 3, kPeak = 4 };
inline constexpr int kNumResponses = 5;
// The type control's choice scale, just below the number of responses.
inline constexpr float kResponseScale = 4.99999f;

inline constexpr const char* kResponseNames[kNumResponses] = {"LowPass", "BandPass", "HiPass", "Notch", "Peak"};
// The responses as a person picks them from a menu (led by a blank, the menus' padding),
// and the type value each sends: it lands back on its response through kResponseScale.
inline constexpr const char* kResponseEntries[kNumResponses] = {" Low Pass", " Band Pass", " High Pass", " Notch",
                                                                " Peak"};
inline constexpr float kResponseValues[kNumResponses] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};

// `f.template operator()<R>()` for the response R that `type` names (any other number
// counts as Peak): the response is read once and the loop that f runs is compiled for
// it, so that the output stays in a register.
template <class F>
decltype(auto) withResponse(int type, F&& f) {
    switch (type) {
        case kLowPass: return f.template operator()<kLowPass>();
        case kBandPass: return f.template operator()<kBandPass>();
        case kHiPass: return f.template operator()<kHiPass>();
        case kNotch: return f.template operator()<kNotch>();
        default: return f.template operator()<kPeak>();
    }
}

// Name of control 4 Cutoff, 5 Resonance, 6 Drive, 7 Type or 8 OnOff; other numbers
// write nothing.
inline void controlName(char* text, int control) {
    constexpr const char* kNames[] = {"Cutoff", "Resonance", "Drive", "Type", "OnOff"};
    if (control >= kCtlCutoff && control <= kCtlOnOff)
        copyText(text, kNames[control - kCtlCutoff], CComponent::kNameSize);
}

// Unit of the same controls: "Hz", "% " (a percent sign and a blank) or two blanks.
inline void unitOfMeasurement(char* text, int control) {
    constexpr const char* kUnits[] = {"Hz", "% ", "% ", "  ", "  "};
    if (control >= kCtlCutoff && control <= kCtlOnOff) copyText(text, kUnits[control - kCtlCutoff], 3);
}

}  // namespace orvex::svf
