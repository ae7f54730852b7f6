// The link between an effect and its editor. The editor toolkit derives its editor
// base from this; the effect only forwards the host's editor opcodes and a few
// notifications through it.
#pragma once

#include "vst2.h"

namespace orvex {

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // Host's user-interface thread.
    virtual bool getRect(ERect** rect) {
        *rect = nullptr;
        return false;
    }
    virtual bool open(void* parent) {
        systemWindow = parent;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    // Open in a host window, or (for an editor that can draw without one) offscreen.
    virtual bool isOpen() const { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual void draw(ERect*) {}
    virtual VstIntPtr mouse(VstInt32, VstInt32) { return 0; }
    virtual VstIntPtr key(VstInt32) { return 0; }
    virtual void top() {}
    virtual void sleep() {}
    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool setKnobMode(VstInt32) { return false; }

    // Any thread: only mark what must be redrawn at the next idle.
    virtual void postUpdate() {}
    // Any thread (hosts play automation from the audio thread): the effect's value of
    // parameter `index` changed. Only noted; the editor rereads it at its next idle.
    virtual void parameterChanged(VstInt32) {}
    // Editor thread: bring the controls of parameter `index` up to the effect's value.
    virtual void setParameter(VstInt32, float) {}
    // Audio thread: store the tempo only; shown at the next idle.
    virtual void setBpm(float) {}

    // Editor thread: draws the whole editor offscreen (opening it there first when it
    // is closed) and writes it to the PNG file `path`. False when it cannot.
    virtual bool snapshot(const char* /*path*/) { return false; }
    virtual bool snapshotAt(const char* path, double /*scale*/) { return snapshot(path); }
    // Editor thread: the host's scale of the editor (1 is the panel's own size). False
    // when the editor does not scale.
    virtual bool setHostScale(double /*scale*/) { return false; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};

}  // namespace orvex
