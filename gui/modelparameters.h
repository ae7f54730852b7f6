// An editor's parameters where the host owns the values and the editor only hears of
// them (the LV2 UI on the host's ports, the CLAP editor on the plug-in's audio side):
// the values the editor shows are kept in a model, an effect of the plug-in's own class
// that never processes, so every rule the effect applies to its values (solos turning
// one another off, the phaser's link, displays, defaults) is the code the VST 2.x face
// runs. What the user sets goes into the model first, and every value the model then
// holds other than the host has is sent to the host; what the host says the model
// follows as the LV2 face follows its ports.
//
// Threads: the editor's thread only.
#pragma once

#include <memory>
#include <vector>

#include "parameters.h"

namespace orvex {
class EffectShell;
}

namespace orvex::gui {

class AEffGUIEditor;

class ModelParameters final : public EditorParameters {
public:
    // How values reach the host: the face's side of the model.
    class Host {
    public:
        virtual ~Host() = default;
        // Parameter `index` is now `value` (0..1) in the model; the host is to take it.
        virtual void write(int index, float value) = 0;
        // The user takes hold of the control of parameter `index`, or lets it go.
        virtual void touch(int index, bool grabbed) = 0;
        virtual void resize(int width, int height) = 0;
        // The host's tempo in beats per minute, or -1 while it gives none.
        virtual float tempo() const { return -1.0f; }
    };

    ModelParameters(EffectShell& model, Host& host);
    ~ModelParameters() override;

    // The editor to tell of the values that changed, once it exists.
    void tell(AEffGUIEditor* to) { editor = to; }

    // The host's value (0..1) of parameter `index`: followed by the model as a face
    // follows its host's values, and the editor told of every value that moved.
    void fromHost(int index, float value);
    // The host's value as the model last heard or sent it.
    float hostValue(int index) const { return hostValues[static_cast<std::size_t>(index)]; }

    float get(int index) const override;
    void beginEdit(int index) override;
    void set(int index, float value) override;
    void endEdit(int index) override;
    float hostTempo() const override { return host.tempo(); }
    float defaultValue(int index) const override;
    void display(int index, char* text) const override;
    void resizeWindow(int width, int height) override { host.resize(width, height); }

private:
    std::vector<float> values() const;
    // Every value the model holds other than the host has, sent; the editor told of
    // those it did not set itself (a solo turned off by another).
    void writeWhatMoved(int setByEditor);
    bool valid(int index) const;

    EffectShell& model;
    EffectParameters onModel;  // the display, defaults and values, as the VST 2.x editor reads them
    Host& host;
    AEffGUIEditor* editor = nullptr;
    std::vector<float> hostValues;   // of each parameter, the host's value (0..1)
    std::unique_ptr<bool[]> changed;  // all false but while the model follows one host value
};

}  // namespace orvex::gui
