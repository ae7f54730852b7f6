// A CLAP plug-in's editor in a real X window: create/set_parent/show/hide/destroy cycles
// (the leak and left-behind judgement of the VST 2.x editor checks) and the size
// negotiation (scale, get_size, can_resize and its hints, adjust_size, set_size), the
// host's window destroyed under an open editor, and gui calls out of turn. The
// check's thread plays the host's main thread, where every gui call belongs, and runs
// the plug-in's timers and descriptors as the host's event loop does.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "checks.h"
#include "checks_clap.h"
#include "xserver.h"

namespace orvex::validate {

namespace {

// What a host's event loop does for an editor between two of its own events.
void serve(clap::Plugin& p, HostWindow& window, int times) {
    for (int i = 0; i < times; ++i) {
        p.runTimers();
        p.runFds(0);
        window.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}

// create, set_parent in `window` and show: false when the plug-in refuses one.
bool openIn(clap::Plugin& p, HostWindow& window) {
    return p.guiCreate() && p.guiSetParent(reinterpret_cast<uintptr_t>(window.handle())) && p.guiShow();
}

class ClapEditor : public EditorDriver {
public:
    explicit ClapEditor(clap::Plugin& plugin) : p(plugin) {
        openName = "create, set_parent and show";
        idleName = "the plug-in's timers and descriptors";
        closeName = "hide and destroy";
    }
    bool open(HostWindow& window) override { return openIn(p, window); }
    void idle(HostWindow& window) override { serve(p, window, 3); }
    void close() override {
        p.guiHide();
        p.guiDestroy();
    }

private:
    clap::Plugin& p;
};

std::string size(uint32_t w, uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

}  // namespace

void checkClapEditorCycles(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    ClapEditor editor(*p);
    editorCycles(c, out, editor);
}

void checkClapEditorWhileProcessing(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    ClapEditor editor(*p);
    const Audio in = makeSignal(Signal::noise, 2, 512, 44100.0);
    editorWhileProcessing(c, out, editor, [&] { return clap::runBlocks(*p, in, 512); });
}

void checkClapEditorSize(Context& c, Outcome& out) {
    std::string error;
    auto p = clap::load(c, &error);
    if (!p) return out.fail(error);
    HostWindow window(c.settings.display);
    if (!displayReached(window, c, out)) return;
    const auto* gui = static_cast<const clap_plugin_gui_t*>(p->extension(CLAP_EXT_GUI));
    c.step("create");
    if (!p->guiCreate()) return out.fail("create(\"x11\", embedded) refused, though is_api_supported said yes");
    // The host's scale: at 2 the editor is twice its size at 1.
    c.step("set_scale 1, get_size");
    const bool scales = p->guiSetScale(1.0);
    const auto one = p->guiSize();
    if (!one || one->first == 0 || one->second == 0 || one->first > 16384 || one->second > 16384)
        return out.fail("get_size gives " + (one ? size(one->first, one->second) : std::string("nothing")));
    if (scales) {
        c.step("set_scale 2, get_size");
        p->guiSetScale(2.0);
        const auto two = p->guiSize();
        if (!two)
            out.fail("get_size gives nothing at scale 2");
        else if (std::abs(static_cast<int>(two->first) - 2 * static_cast<int>(one->first)) > 1 ||
                 std::abs(static_cast<int>(two->second) - 2 * static_cast<int>(one->second)) > 1)
            out.fail("get_size gives " + size(two->first, two->second) + " at scale 2, " +
                     size(one->first, one->second) + " at scale 1: not twice the size");
        else
            out.say("%s at scale 1, %s at scale 2", size(one->first, one->second).c_str(),
                    size(two->first, two->second).c_str());
        p->guiSetScale(1.0);
    } else {
        out.say("%s; set_scale refused (the editor finds its scale itself)", size(one->first, one->second).c_str());
    }
    // Resizing: can_resize, the hints and adjust_size tell one story, set_size keeps it.
    c.step("can_resize, get_resize_hints, adjust_size");
    const bool resizable = gui->can_resize && gui->can_resize(p->raw());
    clap_gui_resize_hints_t hints{};
    const bool hinted = gui->get_resize_hints && gui->get_resize_hints(p->raw(), &hints);
    if (hinted && resizable != (hints.can_resize_horizontally || hints.can_resize_vertically))
        out.fail(std::string("can_resize says ") + (resizable ? "yes" : "no") + ", the resize hints say " +
                 (hints.can_resize_horizontally || hints.can_resize_vertically ? "it can" : "it cannot"));
    int adjusted = 0;
    const auto current = p->guiSize();
    for (const auto& [w, h] : {std::pair{one->first / 2, one->second / 2}, std::pair{one->first * 3 / 2, one->second},
                               std::pair{one->first + 7, one->second + 13}}) {
        uint32_t aw = w, ah = h;
        if (!gui->adjust_size || !gui->adjust_size(p->raw(), &aw, &ah)) continue;
        ++adjusted;
        if (!resizable && current && (aw != current->first || ah != current->second)) {
            out.fail("cannot resize, yet adjust_size(" + size(w, h) + ") offers " + size(aw, ah));
            continue;
        }
        uint32_t again_w = aw, again_h = ah;
        gui->adjust_size(p->raw(), &again_w, &again_h);
        if (again_w != aw || again_h != ah)
            out.fail("adjust_size offers " + size(aw, ah) + " for " + size(w, h) + ", then " + size(again_w, again_h) +
                     " for that");
        if (!resizable) continue;
        if (!gui->set_size || !gui->set_size(p->raw(), aw, ah)) {
            out.fail("set_size refuses " + size(aw, ah) + ", the size adjust_size offered");
            continue;
        }
        const auto now = p->guiSize();
        if (!now || now->first != aw || now->second != ah)
            out.fail("after set_size(" + size(aw, ah) + ") get_size gives " +
                     (now ? size(now->first, now->second) : std::string("nothing")));
    }
    out.say("%s, %d sizes adjusted", resizable ? "resizable" : "fixed size", adjusted);
    // Shown in the host's window, the editor's windows lie within the size it gave.
    c.step("set_parent and show");
    const auto shown = p->guiSize();
    if (!p->guiSetParent(reinterpret_cast<uintptr_t>(window.handle())) || !p->guiShow())
        return out.fail("set_parent or show refused");
    serve(*p, window, 5);
    int inside = 0;
    for (const Placement& w : window.placements()) {
        ++inside;
        if (shown && (w.x < 0 || w.y < 0 || w.x + w.width > static_cast<int>(shown->first) ||
                      w.y + w.height > static_cast<int>(shown->second)))
            out.fail("a window of " + std::to_string(w.width) + " x " + std::to_string(w.height) + " at " +
                     std::to_string(w.x) + ", " + std::to_string(w.y) + " reaches outside the size get_size gave, " +
                     size(shown->first, shown->second));
    }
    c.step("hide and destroy");
    p->guiHide();
    p->guiDestroy();
    const int left = window.childrenAfterClose();
    out.say("%d window%s inside the host's while shown, %d after destroy", inside, inside == 1 ? "" : "s", left);
    if (inside == 0) out.fail("shown, the editor put no window inside the host's");
    if (left > 0) out.fail(std::to_string(left) + " windows left inside the host's after destroy");
}

void checkClapCloseWithEditorOpen(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    int rounds = 0;
    for (; rounds < 3; ++rounds) {
        c.step("round %d: create, set_parent and show, then the host's window destroyed", rounds + 1);
        {
            HostWindow window(c.settings.display);
            if (!displayReached(window, c, out)) return;
            if (!openIn(*p, window)) return out.fail("create, set_parent or show refused");
            serve(*p, window, 3);
        }
        c.step("round %d: timers with the host's window gone, then hide and destroy", rounds + 1);
        p->runTimers();
        p->runFds(0);
        p->guiHide();
        p->guiDestroy();
    }
    c.step("the editor again in a new window, then the plug-in destroyed with it open");
    int left = 0;
    {
        HostWindow window(c.settings.display);
        if (!openIn(*p, window)) return out.fail("the editor does not open again after its window was destroyed");
        serve(*p, window, 3);
        Scan scan;
        scan.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, 2048, 44100.0), 512));
        if (scan.nonFinite()) out.fail(scan.describe() + " output samples after the editor's window went");
        p.reset();
        window.drain();
        left = window.childrenAfterClose();
    }
    out.say("%d editors shown in host windows destroyed under them, then gui.destroy; the last one's plug-in "
            "destroyed with it open, %d window%s left",
            rounds, left, left == 1 ? "" : "s");
    if (left > 0) out.fail("the editor's window outlives the plug-in inside the host's window");
}

void checkClapEditorAfterClose(Context& c, Outcome& out) {
    auto p = clap::active(c, out);
    if (!p) return;
    HostWindow window(c.settings.display);
    if (!displayReached(window, c, out)) return;
    const auto* gui = static_cast<const clap_plugin_gui_t*>(p->extension(CLAP_EXT_GUI));
    const clap_plugin_t* raw = p->raw();
    c.step("show, hide, get_size and destroy before any create");
    uint32_t w = 0, h = 0;
    gui->show(raw), gui->hide(raw), gui->get_size(raw, &w, &h), gui->destroy(raw);
    c.step("create, set_parent, show, then hide and destroy");
    if (!openIn(*p, window)) return out.fail("create, set_parent or show refused");
    serve(*p, window, 3);
    p->guiHide();
    p->guiDestroy();
    c.step("show, hide, set_scale, get_size and destroy after the editor was destroyed");
    gui->show(raw), gui->hide(raw), gui->set_scale(raw, 1.0), gui->get_size(raw, &w, &h);
    gui->destroy(raw);
    serve(*p, window, 2);
    c.step("processing and parameter calls with the editor gone");
    Scan scan;
    Random random(c.settings.seed);
    clap::queueRandomValues(*p, random, 5);
    scan.add(clap::runBlocks(*p, makeSignal(Signal::noise, 2, 2048, 44100.0), 512));
    for (const claphost::ParamInfo& info : p->params()) {
        (void)p->paramValue(info.id);
        (void)p->valueToText(info.id, info.defaultValue);
    }
    if (scan.nonFinite()) out.fail(scan.describe() + " output samples after the editor was destroyed");
    c.step("create, set_parent and show again after all that");
    const bool reopened = openIn(*p, window);
    serve(*p, window, 2);
    const int inside = window.children();
    p->guiHide();
    p->guiDestroy();
    window.drain();
    const int left = window.childrenAfterClose();
    out.say("gui calls before create and after destroy did nothing harmful; reopened with %d window%s, %d left after "
            "destroy",
            inside, inside == 1 ? "" : "s", left);
    if (!reopened || inside < 1) out.fail("the editor does not open again after gui calls out of turn");
    if (left > 0) out.fail(std::to_string(left) + " windows left inside the host's after destroy");
}

}  // namespace orvex::validate
