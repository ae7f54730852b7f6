// The CLAP face's editor: clap.gui for embedded X11 windows, and the timer the host
// runs the editor's idle on.
//
// The editor shows a model (gui/modelparameters.h): an effect of the plug-in's own class
// that never processes. Its host side here is the instance's main-thread side: a user's
// change goes to the instance as an edit in a gesture (applied at the start of the next
// process or flush and told to the host there), and the values the instance shows are
// followed at every tick of the timer, so the host's automation, MIDI controllers and
// the effect's own changes reach the editor.
//
// Sizes are the window's pixels. The editor takes the listed scales only (1 to 3), so a
// size the host offers is met by the largest scale that fits in it.
//
// Threads: every call here comes on the host's main thread.
#include "clapgui.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "clapface.h"
#include "effectshell.h"
#include "gui/editor.h"
#include "gui/modelparameters.h"
#include "gui/platformwindow.h"
#include "gui/scale.h"
#include "lv2face.h"  // createEffectWithoutEditor

#include ORVEX_CLAP_EDITOR_HEADER

namespace orvex::clapface {

namespace {

// How often the host runs the editor's idle: as often as a VST 2.x host's idle calls.
constexpr uint32_t kIdlePeriodMs = 30;

template <class Extension>
const Extension* hostExtension(const clap_host_t* host, const char* id) {
    return host && host->get_extension ? static_cast<const Extension*>(host->get_extension(host, id)) : nullptr;
}

}  // namespace

struct Editor final : gui::ModelParameters::Host {
    Instance& instance;
    const clap_host_t* host;
    const clap_host_gui_t* hostGui;
    const clap_host_timer_support_t* timers;
    clap_id timer = CLAP_INVALID_ID;
    std::unique_ptr<EffectShell> model;
    std::unique_ptr<gui::ModelParameters> parameters;
    std::unique_ptr<gui::AEffGUIEditor> editor;
    float tempoShown = -2.0f;
    bool settingSize = false;  // the host sets the size: it is not asked to resize to it

    Editor(Instance& instance, const clap_host_t* host)
        : instance(instance),
          host(host),
          hostGui(hostExtension<clap_host_gui_t>(host, CLAP_EXT_GUI)),
          timers(hostExtension<clap_host_timer_support_t>(host, CLAP_EXT_TIMER_SUPPORT)) {
        model.reset(createEffectWithoutEditor(faceCallback));
        if (!model) return;
        for (int p = 0; p < instance.numParams() && p < model->numParams(); ++p)
            model->setParameter(p, instance.valueOf(p));
        parameters = std::make_unique<gui::ModelParameters>(*model, *this);
        editor = std::make_unique<ORVEX_CLAP_EDITOR>(gui::EditorTarget(*parameters));
        parameters->tell(editor.get());
    }
    ~Editor() override {
        if (editor) editor->close();
        if (timer != CLAP_INVALID_ID && timers && timers->unregister_timer) timers->unregister_timer(host, timer);
    }

    void write(int index, float value) override { instance.setFromEditor(index, value); }
    void touch(int index, bool grabbed) override {
        if (grabbed) instance.beginGesture(index);
        else instance.endGesture(index);
    }
    void resize(int width, int height) override {
        if (!settingSize && hostGui && hostGui->request_resize && width > 0 && height > 0)
            hostGui->request_resize(host, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    }
    float tempo() const override { return instance.hostTempo(); }

    // The instance's values and the host's tempo followed, then the editor's own idle.
    void tick() {
        for (int p = 0; p < instance.numParams(); ++p) parameters->fromHost(p, instance.valueOf(p));
        if (const float bpm = instance.hostTempo(); bpm != tempoShown) {
            tempoShown = bpm;
            editor->setBpm(bpm);
        }
        editor->idle();
    }

    bool size(uint32_t& width, uint32_t& height) const {
        ERect* rect = nullptr;
        if (!editor->getRect(&rect) || !rect) return false;
        width = static_cast<uint32_t>(rect->right - rect->left);
        height = static_cast<uint32_t>(rect->bottom - rect->top);
        return true;
    }
    // The panel's own size (1x), from the size at the scale it shows at.
    bool panelSize(int& width, int& height) const {
        uint32_t w = 0, h = 0;
        if (!size(w, h)) return false;
        const double scale = editor->getScale();
        width = static_cast<int>(std::lround(w / scale));
        height = static_cast<int>(std::lround(h / scale));
        return width > 0 && height > 0;
    }
    // The largest listed scale whose size fits in `width` x `height` (the smallest when
    // none does).
    double scaleWithin(uint32_t width, uint32_t height) const {
        int panelWidth = 0, panelHeight = 0;
        if (!panelSize(panelWidth, panelHeight)) return 1.0;
        double best = gui::kEditorScales.front();
        for (const double scale : gui::kEditorScales)
            if (gui::scaledLength(panelWidth, scale) <= static_cast<int64_t>(width) &&
                gui::scaledLength(panelHeight, scale) <= static_cast<int64_t>(height))
                best = scale;
        return best;
    }
    gui::PlatformWindow* window() const {
        gui::CFrame* frame = editor->getFrame();
        return frame ? frame->getPlatformWindow() : nullptr;
    }
};

namespace {

Instance& self(const clap_plugin_t* plugin) { return *static_cast<Instance*>(plugin->plugin_data); }
Editor* editorOf(const clap_plugin_t* plugin) { return self(plugin).editor; }

bool embeddedX11(const char* api, bool floating) { return !floating && api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0; }

bool guiIsApiSupported(const clap_plugin_t*, const char* api, bool floating) { return embeddedX11(api, floating); }
bool guiGetPreferredApi(const clap_plugin_t*, const char** api, bool* floating) {
    if (api) *api = CLAP_WINDOW_API_X11;
    if (floating) *floating = false;
    return true;
}

// The editor is made here and opened in set_parent. Without the host's timer nothing
// would ever run its idle: no editor then.
bool guiCreate(const clap_plugin_t* plugin, const char* api, bool floating) {
    Instance& instance = self(plugin);
    if (!embeddedX11(api, floating) || instance.editor) return false;
    try {
        auto made = std::make_unique<Editor>(instance, instance.clapHost());
        if (!made->editor || !made->timers || !made->timers->register_timer) return false;
        if (!made->timers->register_timer(made->host, kIdlePeriodMs, &made->timer)) {
            made->timer = CLAP_INVALID_ID;
            return false;
        }
        instance.editor = made.release();
        return true;
    } catch (...) {
        return false;
    }
}

void guiDestroy(const clap_plugin_t* plugin) { destroyEditor(self(plugin)); }

bool guiSetScale(const clap_plugin_t* plugin, double scale) {
    Editor* editor = editorOf(plugin);
    return editor && std::isfinite(scale) && scale > 0.0 && editor->editor->setHostScale(scale);
}

bool guiGetSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    Editor* editor = editorOf(plugin);
    return editor && width && height && editor->size(*width, *height);
}

bool guiCanResize(const clap_plugin_t* plugin) { return editorOf(plugin) != nullptr; }

bool guiGetResizeHints(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints) {
    Editor* editor = editorOf(plugin);
    int width = 0, height = 0;
    if (!editor || !hints || !editor->panelSize(width, height)) return false;
    *hints = clap_gui_resize_hints_t{true, true, true, static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    return true;
}

// The size of the largest scale that fits.
bool guiAdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    Editor* editor = editorOf(plugin);
    int panelWidth = 0, panelHeight = 0;
    if (!editor || !width || !height || !editor->panelSize(panelWidth, panelHeight)) return false;
    const double scale = editor->scaleWithin(*width, *height);
    *width = static_cast<uint32_t>(gui::scaledLength(panelWidth, scale));
    *height = static_cast<uint32_t>(gui::scaledLength(panelHeight, scale));
    return true;
}

// A size the host set: shown at the largest scale that fits; true when that is the
// size asked for.
bool guiSetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
    Editor* editor = editorOf(plugin);
    if (!editor) return false;
    const double scale = editor->scaleWithin(width, height);
    if (scale != editor->editor->getScale()) {
        editor->settingSize = true;
        editor->editor->setHostScale(scale);
        editor->settingSize = false;
    }
    uint32_t shownWidth = 0, shownHeight = 0;
    return editor->size(shownWidth, shownHeight) && shownWidth == width && shownHeight == height;
}

bool guiSetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    Editor* editor = editorOf(plugin);
    if (!editor || !window || !window->api || std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0 || window->x11 == 0)
        return false;
    if (editor->editor->isOpen()) editor->editor->close();
    // No X server to be reached, or the window is not there: nothing to show.
    if (!editor->editor->open(reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11))) || !editor->window() ||
        !editor->window()->nativeWindow()) {
        editor->editor->close();
        return false;
    }
    return true;
}

bool guiSetTransient(const clap_plugin_t*, const clap_window_t*) { return false; }
void guiSuggestTitle(const clap_plugin_t*, const char*) {}
// The window lives in the host's, which shows and hides it.
bool guiShow(const clap_plugin_t* plugin) { return editorOf(plugin) != nullptr; }
bool guiHide(const clap_plugin_t* plugin) { return editorOf(plugin) != nullptr; }

void onTimer(const clap_plugin_t* plugin, clap_id timer) {
    Editor* editor = editorOf(plugin);
    if (editor && timer == editor->timer && editor->editor->isOpen()) editor->tick();
}

}  // namespace

void destroyEditor(Instance& instance) {
    delete instance.editor;
    instance.editor = nullptr;
}

const clap_plugin_gui_t kGui{guiIsApiSupported, guiGetPreferredApi, guiCreate,     guiDestroy,     guiSetScale,
                             guiGetSize,        guiCanResize,       guiGetResizeHints, guiAdjustSize, guiSetSize,
                             guiSetParent,      guiSetTransient,    guiSuggestTitle, guiShow,       guiHide};
const clap_plugin_timer_support_t kTimerSupport{onTimer};

}  // namespace orvex::clapface
