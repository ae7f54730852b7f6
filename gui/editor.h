// The editor base every plug-in's editor derives from: it connects a frame of views to
// the host's editor calls (rectangle, open, close, idle, draw, mouse, keys) and sends
// control changes to the effect as automated parameter changes between begin and end
// of edit.
//
// Threads: editor thread (the host's user-interface thread), except `parameterChanged`
// and `setBpm`, which the effect may call from the audio thread: they only store what
// changed, and the next idle brings it to the controls on the editor thread
// (`setParameter`, `tempoChanged`).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/aeffeditor.h"
#include "host/audioeffect.h"
#include "controls.h"
#include "housestyle.h"
#include "panel.h"
#include "parameters.h"
#include "view.h"

namespace orvex::gui {

// What an editor edits: an effect it is attached to (the VST 2.x face), or parameters
// that live elsewhere (the LV2 UI, where the host holds the values), never both.
struct EditorTarget {
    EditorTarget(AudioEffect* effect) : effect(effect) {}
    EditorTarget(EditorParameters& parameters) : parameters(&parameters) {}
    AudioEffect* effect = nullptr;
    EditorParameters* parameters = nullptr;
};

class AEffGUIEditor : public AEffEditor {
public:
    // On an effect it attaches itself to it, which owns it from now on and shows the
    // has-editor flag; on parameters it stands alone.
    explicit AEffGUIEditor(EditorTarget target);
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    // PanelEditor's `open` builds the frame; this part remembers the window.
    bool open(void* window) override;
    // Deletes the frame and every view in it.
    void close() override;
    // A frame exists: in the host's window, or offscreen when it gave none.
    bool isOpen() const override { return frame != nullptr; }
    void idle() override;
    void draw(ERect* rect) override;
    VstIntPtr mouse(VstInt32 x, VstInt32 y) override;
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    bool setKnobMode(VstInt32 mode) override;
    static int getKnobMode() { return knobMode; }

    void postUpdate() override { updateRequested = true; }
    // Any thread: noted for the next idle (parameters 0 to 63; the plug-ins have 20 at
    // most), which calls `setParameter` with the effect's value.
    void parameterChanged(VstInt32 index) override;
    // Any thread: the host's tempo, noted for the next idle, which calls `tempoChanged`.
    void setBpm(float bpm) override;
    // Runs what was noted since the last idle: `setParameter` for every changed
    // parameter in index order, then `tempoChanged`. Nothing while closed.
    void applyPendingChanges();
    bool isUpdateRequested() const { return updateRequested; }

    // Called by controls between user actions: runs an idle when one is due.
    void doIdleStuff();

    // A user change from a control: applied and reported to the host.
    void setParameterAutomated(VstInt32 index, float value);
    // A control's drag begins or ends; an editor whose control moves other parameters
    // than its tag names those.
    virtual void beginEdit(VstInt32 index);
    virtual void endEdit(VstInt32 index);

    CFrame* getFrame() const { return frame; }
    EditorParameters& parameters() const { return *params; }

    // Opens the editor on an offscreen surface (when it is not open), draws it whole and
    // writes it to `path`; closes it again when it was closed. False when the editor
    // cannot be drawn or the file cannot be written.
    bool snapshot(const char* path) override;
    // The same at `scale` (snapped to a listed one); an open editor draws only at the
    // scale it shows at.
    bool snapshotAt(const char* path, double scale) override;

    // The scale the editor shows at (scale.h): worked out at the first getRect or open,
    // whichever comes first, from the host's scale, the user's choice, the X server's
    // Xft.dpi and GDK_SCALE.
    double getScale();
    // The host's scale (VST 2.x: the vendor message the effect routes here; LV2: the
    // UI's ui:scaleFactor), snapped to the nearest listed scale. An open editor is
    // built anew at it and the host asked to resize. False for a number that is no scale.
    bool setHostScale(double scale) override;
    // The user's choice from the panel's menu: shown at once and remembered as the
    // default of new editors (the only file the plug-ins write).
    void chooseScale(double scale);
    // A right press on the panel's background: the list of scales, the current one
    // checked, below `where` (panel pixels). Called by the frame.
    bool openScaleMenu(const CPoint& where);

protected:
    // Editor thread, while open: the host tempo changed (from the last `setBpm`).
    virtual void tempoChanged(float /*bpm*/) {}

    CFrame* frame = nullptr;
    ERect rect{0, 0, 0, 0};

private:
    // Shows the editor at `scale`: an open one is built anew and the host asked to
    // resize its window.
    void applyScale(double scale);

    static int knobMode;
    std::unique_ptr<EditorParameters> ownParameters;  // on an effect
    EditorParameters* params;
    bool updateRequested = false;
    double scale = 1.0;
    bool scaleKnown = false;
    double chosenScale = 0.0;  // a choice from the menu, applied at the next idle
    ERect shownRect{0, 0, 0, 0};
    class ScaleMenu;
    ScaleMenu* scaleMenu = nullptr;
    std::atomic<std::uint64_t> pendingParameters{0};
    std::atomic<float> pendingTempo{0.0f};
    std::atomic<bool> tempoPending{false};
    std::chrono::steady_clock::time_point nextIdle{};
};

// A panel row's place as the toolkit's rectangle.
inline CRect rectOf(const PanelRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// What every plug-in's editor is: one panel picture, which sets the editor's size and
// is the frame's background, and the controls of the plug-in's panel rows (panel.h),
// which report their changes to the editor. The plug-in adds only what is its own:
// the controls of its `own` rows and what they do.
// Editor thread.
class PanelEditor : public AEffGUIEditor, public CControlListener {
public:
    // `knobDefault` gives a knob's value for a double click by its tag; without it 0.5.
    PanelEditor(EditorTarget target, long panelPicture, std::span<const PanelRow> rows,
                float (*knobDefault)(long tag) = nullptr);
    ~PanelEditor() override;

    // The frame in `window` (offscreen without one) with every row's control, made in
    // row order from the effect's current values.
    bool open(void* window) override;
    // Lets go of the frame and every control in it.
    void close() override;
    // A user change: a knob's or button's value, or the value of a menu's chosen entry
    // (an entry outside its list changes nothing), goes to the effect as an automated
    // change; an own row's control goes to `ownChanged`.
    void valueChanged(CDrawContext* context, CControl* control) override;
    // The controls bound to parameter `index` back to its value (`value` is not used:
    // the effect may have clamped it), then `refreshOwn`. Nothing while closed.
    void setParameter(VstInt32 index, float value) override;

    // The controls of the rows of parameter `index`, set to its value.
    void refresh(VstInt32 index);
    // A knob's gesture: while it lasts, a knob whose parameter has no read-out on the
    // panel shows its value in a label beside it.
    void beginEdit(VstInt32 index) override;
    void endEdit(VstInt32 index) override;
    // The label, while open.
    const CValueTip* valueTip() const { return tip; }
    // The control of the first row with `tag`; null while closed.
    CControl* control(long tag) const;
    // While open builds the controls: picture `number`, loaded once for all of them.
    CBitmap* picture(long number);

protected:
    // The control of an own row, made during open; the builder adds it to the frame.
    virtual CControl* makeOwn(const PanelRow& /*row*/) { return nullptr; }
    virtual void ownChanged(CControl* /*control*/) {}
    // After `refresh`: what else shows parameter `index`.
    virtual void refreshOwn(VstInt32 /*index*/) {}

    CBitmap* const background;
    // The menus' selected text.
    CColor selectedText = kHouseSelectedText;

private:
    // At open: the pictures of the first draw decoded, side by side.
    void prepareDrawings();

    const std::span<const PanelRow> rows;
    float (*const knobDefault)(long tag);
    std::vector<CControl*> controls;  // one per row while open
    CValueTip* tip = nullptr;
    long tipTag = -1;  // the knob's parameter while its gesture shows the label
    std::vector<std::pair<long, CBitmap*>> loaded;
};

}  // namespace orvex::gui
