// The LV2 UI, compiled once per plug-in beside its LV2 face (ORVEX_LV2_NAME,
// ORVEX_LV2_EDITOR: the plug-in's editor class, ORVEX_LV2_EDITOR_HEADER: its header):
// one ui:X11UI, urn:harmoxel:orvex:<name>#ui, the plug-in's own editor opened in the
// window the host gives (ui:parent). It talks to the plug-in through the host's control
// ports only: the host's values come in through port_event, the user's changes go out
// through the host's write function, in the ports' units.
//
// The values the editor shows are kept in a model: an effect of the plug-in's own
// class that never processes, so every rule the effect applies to its values (solos
// turning one another off, the phaser's link, displays, defaults) is the code the
// VST 2.x face runs.
//
// Threads: every call here comes on the host's user-interface thread.
#include "lv2ui.h"

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "gui/editor.h"
#include "gui/parameters.h"
#include "gui/platformwindow.h"
#include "reading.h"

#include ORVEX_LV2_EDITOR_HEADER

namespace orvex {

namespace {

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

// The editor's parameters on the host's control ports. The model answers what the
// editor reads; what the user sets goes into the model first, and every port whose
// model value then differs from what the host has is written.
class PortParameters final : public gui::EditorParameters {
public:
    PortParameters(EffectShell& model, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
                   const LV2UI_Resize* resize)
        : model(model), onModel(&model), write(write), controller(controller), touch(touch), resize(resize) {
        const int count = model.numParams();
        for (int p = 0; p < count; ++p) {
            hostValues.push_back(model.getParameter(p));
            hostUnits.push_back(std::bit_cast<uint32_t>(unitOfValue(readingOf(model.parameterInfo(p)), hostValues.back())));
        }
        changed = std::make_unique<bool[]>(hostValues.size());
    }

    // The editor to tell of the values that changed, once it exists.
    void tell(gui::AEffGUIEditor* to) { editor = to; }

    // The host's value of parameter `index`, in its port's unit: followed by the model
    // as the LV2 face follows its ports, and the editor told of every value that moved.
    void fromHost(int index, float unitValue) {
        const auto p = static_cast<std::size_t>(index);
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == hostUnits[p]) return;  // what the host had already: our own write coming back, or a repeat
        hostUnits[p] = bits;
        hostValues[p] = valueOfUnit(readingOf(model.parameterInfo(index)), unitValue);
        const std::vector<float> before = values();
        changed[p] = true;
        model.followHostValues(hostValues, std::span<const bool>(changed.get(), hostValues.size()));
        changed[p] = false;
        for (int q = 0; q < model.numParams(); ++q)
            if (model.getParameter(q) != before[static_cast<std::size_t>(q)] && editor) editor->parameterChanged(q);
    }

    float get(int index) const override { return onModel.get(index); }
    void beginEdit(int index) override { grab(index, true); }
    void set(int index, float value) override {
        if (index < 0 || index >= model.numParams()) return;
        model.setParameter(index, value);
        writeWhatMoved(index);
    }
    void endEdit(int index) override { grab(index, false); }
    // The UI gets no transport: the tempo field shows the "Bpm" parameter, as the
    // VST 2.x editor does while its host gives no tempo.
    float hostTempo() const override { return -1.0f; }
    float defaultValue(int index) const override { return onModel.defaultValue(index); }
    void display(int index, char* text) const override { onModel.display(index, text); }
    // The host fits its window to the editor (ui:resize, when it offers it).
    void resizeWindow(int width, int height) override {
        if (resize && resize->ui_resize) resize->ui_resize(resize->handle, width, height);
    }

private:
    std::vector<float> values() const {
        std::vector<float> all;
        for (int q = 0; q < model.numParams(); ++q) all.push_back(model.getParameter(q));
        return all;
    }

    // Every port whose model value is not what the host has, written in its unit; the
    // editor told of those it did not set itself (a solo turned off by another).
    void writeWhatMoved(int setByEditor) {
        for (int q = 0; q < model.numParams(); ++q) {
            const auto p = static_cast<std::size_t>(q);
            const float value = model.getParameter(q);
            if (std::bit_cast<uint32_t>(value) == std::bit_cast<uint32_t>(hostValues[p])) continue;
            const float unitValue = unitOfValue(readingOf(model.parameterInfo(q)), value);
            hostValues[p] = value;
            hostUnits[p] = std::bit_cast<uint32_t>(unitValue);
            write(controller, kLv2FirstControl + static_cast<uint32_t>(q), sizeof unitValue, 0, &unitValue);
            if (q != setByEditor && editor) editor->parameterChanged(q);
        }
    }

    void grab(int index, bool grabbed) {
        if (touch && touch->touch && index >= 0 && index < model.numParams())
            touch->touch(touch->handle, kLv2FirstControl + static_cast<uint32_t>(index), grabbed);
    }

    EffectShell& model;
    gui::EffectParameters onModel;  // the display, defaults and values, as the VST 2.x editor reads them
    const LV2UI_Write_Function write;
    const LV2UI_Controller controller;
    const LV2UI_Touch* const touch;
    const LV2UI_Resize* const resize;
    gui::AEffGUIEditor* editor = nullptr;
    // Of each parameter, the host's value as the model reads it (0..1) and in its
    // port's unit (bit for bit), as the host last said or was written.
    std::vector<float> hostValues;
    std::vector<uint32_t> hostUnits;
    std::unique_ptr<bool[]> changed;  // all false but while the model follows one host value
};

struct Ui {
    std::unique_ptr<EffectShell> model;
    std::unique_ptr<PortParameters> parameters;
    std::unique_ptr<gui::AEffGUIEditor> editor;

    gui::PlatformWindow* window() const {
        gui::CFrame* frame = editor->getFrame();
        return frame ? frame->getPlatformWindow() : nullptr;
    }
};

float scaleFactorOf(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    if (!map || !map->map || !options) return 0.0f;
    const LV2_URID scale = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID atomFloat = map->map(map->handle, LV2_ATOM__Float);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value; ++o)
        if (o->key == scale && o->type == atomFloat && o->size == sizeof(float) && o->value) {
            const float given = *static_cast<const float*>(o->value);
            if (given > 0.0f && given <= 16.0f) return given;
        }
    return 0.0f;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (!parent || !write || !widget || !pluginUri || std::strcmp(pluginUri, ORVEX_LV2_URI) != 0) return nullptr;
    try {
        auto ui = std::make_unique<Ui>();
        ui->model.reset(createEffectWithoutEditor(lv2FaceCallback));
        if (!ui->model) return nullptr;
        ui->parameters = std::make_unique<PortParameters>(
            *ui->model, write, controller, static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch)),
            static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)));
        ui->editor = std::make_unique<ORVEX_LV2_EDITOR>(gui::EditorTarget(*ui->parameters));
        ui->parameters->tell(ui->editor.get());
        // The host's scale comes first; without one the editor finds its own (the
        // user's choice, the screen's DPI).
        if (const float hostScale = scaleFactorOf(features); hostScale > 0.0f) ui->editor->setHostScale(hostScale);
        // Without a window in the host's (no X server) there is nothing to show.
        if (!ui->editor->open(parent) || !ui->window() || !ui->window()->nativeWindow()) {
            ui->editor->close();
            return nullptr;
        }
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->window()->nativeWindow()));
        // The size it opened at; later sizes (a scale the user picks) are told as the
        // editor takes them. The frame draws itself at its first idle.
        ERect* rect = nullptr;
        if (ui->editor->getRect(&rect) && rect)
            ui->parameters->resizeWindow(rect->right - rect->left, rect->bottom - rect->top);
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    ui->editor->close();
    delete ui;
}

// Control ports only, in their unit (ui:floatProtocol); the atom ports are the DSP's.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    auto* ui = static_cast<Ui*>(handle);
    if (format != 0 || size != sizeof(float) || !buffer || port < kLv2FirstControl ||
        port - kLv2FirstControl >= static_cast<uint32_t>(ui->model->numParams()))
        return;
    float unitValue;
    std::memcpy(&unitValue, buffer, sizeof unitValue);
    ui->parameters->fromHost(static_cast<int>(port - kLv2FirstControl), unitValue);
}

// The editor's events, what the host changed and the redraws; 1 once the editor has no
// window left to work in.
int idle(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    ui->editor->idle();
    return !ui->window() || !ui->window()->connected() ? 1 : 0;
}

const LV2UI_Idle_Interface kIdle{idle};

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kUiDescriptor{ORVEX_LV2_UI_URI, instantiate, cleanup, portEvent, extensionData};

}  // namespace

}  // namespace orvex

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &orvex::kUiDescriptor : nullptr;
}
