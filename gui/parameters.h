// What an editor knows of the plug-in it edits: the parameters' values, the user's
// changes with their gestures, what the host's tempo is and what a value reads as;
// and how it asks the host for a new window size.
// The editor never reaches into the effect: the VST 2.x face answers these on the
// effect itself (EffectParameters), the LV2 UI on the host's ports, so one editor
// serves both.
//
// Threads: editor thread only. Changes the host makes reach the editor apart from
// this, as `AEffGUIEditor::parameterChanged` and `setBpm`.
#pragma once

#include "host/vst2.h"

namespace orvex {
class AudioEffect;
}

namespace orvex::gui {

class EditorParameters {
public:
    virtual ~EditorParameters() = default;

    // Parameter `index`'s value, 0..1.
    virtual float get(int index) const = 0;
    // A user change between begin and end of its gesture: applied, and reported to the
    // host as an automated change.
    virtual void beginEdit(int index) = 0;
    virtual void set(int index, float value) = 0;
    virtual void endEdit(int index) = 0;
    // The host's tempo in beats per minute, or -1 while it gives none.
    virtual float hostTempo() const = 0;
    // The value a parameter starts from (its table's default).
    virtual float defaultValue(int index) const = 0;
    // The text the parameter's value shows as, with its unit, in `text` (room for
    // 128 bytes).
    virtual void display(int index, char* text) const = 0;
    // The editor's new size in screen pixels: the host is asked to fit its window to it.
    virtual void resizeWindow(int width, int height) = 0;
};

// The VST 2.x face: every answer comes from the effect, which owns the values.
class EffectParameters final : public EditorParameters {
public:
    explicit EffectParameters(AudioEffect* effect) : effect(effect) {}
    float get(int index) const override;
    void beginEdit(int index) override;
    void set(int index, float value) override;
    void endEdit(int index) override;
    float hostTempo() const override;
    float defaultValue(int index) const override;
    void display(int index, char* text) const override;
    void resizeWindow(int width, int height) override;

private:
    AudioEffect* effect;
};

}  // namespace orvex::gui
