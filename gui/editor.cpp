#include "editor.h"

#include "host/entry.h"
#include "platformwindow.h"

namespace orvex::gui {

int AEffGUIEditor::knobMode = 0;

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
    updateBundleRef();  // where the pictures are
    if (effect) effect->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor() {
    delete frame;
    releaseBundleRef();
}

PanelEditor::PanelEditor(AudioEffect* effect, long panelPicture)
    : AEffGUIEditor(effect), background(new CBitmap(panelPicture)) {
    rect = {0, 0, static_cast<VstInt16>(background->getHeight()), static_cast<VstInt16>(background->getWidth())};
}

PanelEditor::~PanelEditor() { background->forget(); }

void PanelEditor::makeFrame(void* window) {
    frame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), window, this);
    frame->setBackground(background);
}

bool AEffGUIEditor::getRect(ERect** out) {
    if (!out) return false;
    *out = &rect;
    return true;
}

bool AEffGUIEditor::open(void* window) {
    // A second open builds afresh: the plug-in's close (virtual) lets go of the first
    // frame and its controls.
    if (frame) close();
    systemWindow = window;
    // The plug-in's open reads every value afresh; what was noted before is old news.
    pendingParameters.store(0, std::memory_order_relaxed);
    tempoPending.store(false, std::memory_order_relaxed);
    postUpdate();
    return true;
}

void AEffGUIEditor::close() {
    CFrame* closing = frame;
    frame = nullptr;
    delete closing;
    systemWindow = nullptr;
}

void AEffGUIEditor::idle() {
    if (updateRequested) updateRequested = false;
    if (frame) {
        if (PlatformWindow* window = frame->getPlatformWindow()) window->dispatch();
        applyPendingChanges();
        if (frame) frame->idle();
    }
}

void AEffGUIEditor::parameterChanged(VstInt32 index) {
    if (index >= 0 && index < 64) pendingParameters.fetch_or(std::uint64_t{1} << index, std::memory_order_relaxed);
}

void AEffGUIEditor::setBpm(float bpm) {
    pendingTempo.store(bpm, std::memory_order_relaxed);
    tempoPending.store(true, std::memory_order_release);
}

void AEffGUIEditor::applyPendingChanges() {
    if (!frame || !effect) return;
    std::uint64_t changed = pendingParameters.exchange(0, std::memory_order_relaxed);
    for (VstInt32 index = 0; changed; ++index, changed >>= 1)
        if (changed & 1) setParameter(index, effect->getParameter(index));
    if (frame && tempoPending.exchange(false, std::memory_order_acquire))
        tempoChanged(pendingTempo.load(std::memory_order_relaxed));
}

void AEffGUIEditor::draw(ERect*) {
    if (frame) frame->draw();
}

VstIntPtr AEffGUIEditor::mouse(VstInt32 x, VstInt32 y) {
    if (!frame) return 0;
    frame->onMouseDown(CPoint(x, y), kLButton);
    frame->onMouseRelease(CPoint(x, y), 0);
    return 1;
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& key) { return frame && frame->onKeyDown(key) == 1; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& key) { return frame && frame->onKeyUp(key) == 1; }

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    knobMode = mode;
    return true;
}

void AEffGUIEditor::doIdleStuff() {
    // Never waits: with event-driven drags there is no loop to keep alive, only an
    // idle to run when it is due.
    const auto now = std::chrono::steady_clock::now();
    if (now < nextIdle) return;
    nextIdle = now + std::chrono::milliseconds(100);
    if (frame) frame->idle();
}

void AEffGUIEditor::setParameterAutomated(VstInt32 index, float value) {
    if (effect) effect->setParameterAutomated(index, value);
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (auto* x = dynamic_cast<AudioEffectX*>(effect)) x->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (auto* x = dynamic_cast<AudioEffectX*>(effect)) x->endEdit(index);
}

bool AEffGUIEditor::snapshot(const char* path) {
    if (!path) return false;
    const bool wasOpen = frame != nullptr;
    if (!wasOpen && !open(nullptr)) return false;
    bool written = false;
    if (frame) {
        frame->draw();
        written = frame->writePng(path);
    }
    if (!wasOpen) close();
    return written;
}

}  // namespace orvex::gui
