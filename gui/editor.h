// The editor base every plug-in's editor derives from: it connects a frame of views to
// the host's editor calls (rectangle, open, close, idle, draw, mouse, keys) and sends
// control changes to the effect as automated parameter changes between begin and end
// of edit.
//
// Threads: editor thread (the host's user-interface thread), except `setBpm`, which
// the effect calls from the audio thread and which only stores the tempo.
#pragma once

#include <chrono>
#include <string>

#include "host/aeffeditor.h"
#include "host/audioeffect.h"
#include "view.h"

namespace orvex::gui {

class AEffGUIEditor : public AEffEditor {
public:
    // Attaches itself to the effect, which owns it from now on and shows the has-editor
    // flag.
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    // The plug-in's `open` builds the frame; this part remembers the window.
    bool open(void* window) override;
    // Deletes the frame and every view in it.
    void close() override;
    void idle() override;
    void draw(ERect* rect) override;
    VstIntPtr mouse(VstInt32 x, VstInt32 y) override;
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    bool setKnobMode(VstInt32 mode) override;
    static int getKnobMode() { return knobMode; }

    void postUpdate() override { updateRequested = true; }
    bool isUpdateRequested() const { return updateRequested; }

    // Called by controls between user actions: runs an idle when one is due.
    void doIdleStuff();

    // A user change from a control: applied and reported to the host.
    void setParameterAutomated(VstInt32 index, float value);
    void beginEdit(VstInt32 index);
    void endEdit(VstInt32 index);

    CFrame* getFrame() const { return frame; }
    AudioEffect* getEffect() const { return effect; }

    // Opens the editor on an offscreen surface (when it is not open), draws it whole and
    // writes it to `path`; closes it again when it was closed. False when the editor
    // cannot be drawn or the file cannot be written.
    bool snapshot(const char* path) override;

protected:
    CFrame* frame = nullptr;
    ERect rect{0, 0, 0, 0};

private:
    static int knobMode;
    bool updateRequested = false;
    std::chrono::steady_clock::time_point nextIdle{};
};

}  // namespace orvex::gui
