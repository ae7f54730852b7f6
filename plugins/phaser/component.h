// The phaser's own form of the unit bases. Its units are driven by their processing
// first: the audio slots come straight after CComponent's, and the control slots that
// every unit shares (dsp/component.h, ControlSlots) follow. The shared CEffect starts
// with `setControl`; this one has none (CPhaser adds its own after the shared slots),
// and CSynthesis, the base of the signal generators, starts with its output block.
#pragma once

#include "dsp/component.h"

namespace orvex::phaser {

// Processing slots of the phaser's audio units: a block from one buffer into
// another, and a block in place. Audio thread.
class CProcessingHead : public CComponent {
public:
    virtual void process(float* in, float* out, int count) = 0;
    virtual void process(float* buffer, int count) = 0;
};

// Audio units of the phaser (the phaser itself); the sample rate is the owner's to set.
class CEffect : public ControlSlots<CProcessingHead> {};

// Generator slots: a block of output, then a control set by identifier.
class CSynthesisHead : public CComponent {
public:
    virtual void process(float* out, int count) = 0;
    virtual void setControl(float value, int control) = 0;
};

// Signal generators: units that produce samples rather than transform them.
class CSynthesis : public ControlSlots<CSynthesisHead> {};

}  // namespace orvex::phaser
