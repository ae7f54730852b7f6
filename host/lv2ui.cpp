// The LV2 UI, compiled once per plug-in beside its LV2 face (ORVEX_LV2_NAME,
// ORVEX_LV2_EDITOR: the plug-in's editor class, ORVEX_LV2_EDITOR_HEADER: its header):
// one ui:X11UI, urn:harmoxel:orvex:<name>#ui, the plug-in's own editor opened in the
// window the host gives (ui:parent). It talks to the plug-in through the host's control
// ports only: the host's values come in through port_event, the user's changes go out
// through the host's write function, in the ports' units.
//
// The values the editor shows are kept in a model (gui/modelparameters.h) whose host
// side here is the control ports.
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
#include "gui/modelparameters.h"
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

// The host's side of the editor's model: the control ports, in their units. The host's
// values come in as port events; what the model sends is written to the ports.
class Ports final : public gui::ModelParameters::Host {
public:
    Ports(EffectShell& model, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
          const LV2UI_Resize* resize)
        : model(model), writePort(write), controller(controller), touchPort(touch), resizeHost(resize) {
        for (int p = 0; p < model.numParams(); ++p)
            hostUnits.push_back(std::bit_cast<uint32_t>(unitOfValue(readingOf(model.parameterInfo(p)), model.getParameter(p))));
    }

    // Parameter `index`'s port says `unitValue`: the model hears it unless it is what
    // the port had already (our own write coming back, or a repeat), so that a value
    // the model sent is not read back through the unit's rounding.
    void fromPort(gui::ModelParameters& parameters, int index, float unitValue) {
        const uint32_t bits = std::bit_cast<uint32_t>(unitValue);
        if (bits == hostUnits[static_cast<std::size_t>(index)]) return;
        hostUnits[static_cast<std::size_t>(index)] = bits;
        parameters.fromHost(index, valueOfUnit(readingOf(model.parameterInfo(index)), unitValue));
    }

    void write(int index, float value) override {
        const float unitValue = unitOfValue(readingOf(model.parameterInfo(index)), value);
        hostUnits[static_cast<std::size_t>(index)] = std::bit_cast<uint32_t>(unitValue);
        writePort(controller, kLv2FirstControl + static_cast<uint32_t>(index), sizeof unitValue, 0, &unitValue);
    }
    void touch(int index, bool grabbed) override {
        if (touchPort && touchPort->touch) touchPort->touch(touchPort->handle, kLv2FirstControl + static_cast<uint32_t>(index), grabbed);
    }
    // The host fits its window to the editor (ui:resize, when it offers it).
    void resize(int width, int height) override {
        if (resizeHost && resizeHost->ui_resize) resizeHost->ui_resize(resizeHost->handle, width, height);
    }
    // The UI gets no transport: the tempo field shows the "Bpm" parameter, as the
    // VST 2.x editor does while its host gives no tempo (the default).

private:
    const EffectShell& model;
    const LV2UI_Write_Function writePort;
    const LV2UI_Controller controller;
    const LV2UI_Touch* const touchPort;
    const LV2UI_Resize* const resizeHost;
    std::vector<uint32_t> hostUnits;  // of each port, the host's value in its unit, bit for bit
};

struct Ui {
    std::unique_ptr<EffectShell> model;
    std::unique_ptr<Ports> ports;
    std::unique_ptr<gui::ModelParameters> parameters;
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
        ui->ports = std::make_unique<Ports>(*ui->model, write, controller,
                                            static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch)),
                                            static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)));
        ui->parameters = std::make_unique<gui::ModelParameters>(*ui->model, *ui->ports);
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
    ui->ports->fromPort(*ui->parameters, static_cast<int>(port - kLv2FirstControl), unitValue);
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
