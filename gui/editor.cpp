#include "editor.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <utility>

#include "controls.h"
#include "dsp/parameter.h"
#include "host/entry.h"
#include "platformwindow.h"
#include "scale.h"

namespace orvex::gui {

int AEffGUIEditor::knobMode = 0;

// The panel's menu of scales: a pop-up list of its own, never a view in the frame.
// Editor thread.
class AEffGUIEditor::ScaleMenu final : public CControlListener {
public:
    explicit ScaleMenu(AEffGUIEditor& editor) : editor(editor) {}
    ~ScaleMenu() override { drop(); }

    void open(CFrame& frame, const CPoint& where, double current) {
        frame.dismissPopup();
        drop();
        // Just below and right of the pointer, so that the release of the press that
        // opened it falls outside the list and chooses nothing.
        menu = new COptionMenu(CRect(where.h + 1, where.v + 1, where.h + 2, where.v + 1), this, 0, nullptr, nullptr,
                               kCheckStyle);
        for (double s : kEditorScales) menu->addEntry(scaleLabel(s).c_str());
        COptionMenuScheme* scheme = newHouseMenuScheme(kHouseSelectedText);
        menu->setScheme(scheme);
        scheme->forget();
        menu->setCurrent(scaleIndex(current));
        frame.openPopup(menu);
    }

    void valueChanged(CDrawContext*, CControl* control) override {
        const int entry = static_cast<COptionMenu*>(control)->getCurrent();
        if (entry >= 0 && entry < static_cast<int>(kEditorScales.size()))
            editor.chooseScale(kEditorScales[static_cast<std::size_t>(entry)]);
    }

private:
    void drop() {
        if (menu) menu->forget();
        menu = nullptr;
    }

    AEffGUIEditor& editor;
    COptionMenu* menu = nullptr;
};

AEffGUIEditor::AEffGUIEditor(EditorTarget target)
    : AEffEditor(target.effect),
      ownParameters(target.parameters ? nullptr : std::make_unique<EffectParameters>(target.effect)),
      params(target.parameters ? target.parameters : ownParameters.get()) {
    updateBundleRef();  // where the pictures are
    if (effect) effect->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor() {
    delete frame;
    delete scaleMenu;
    releaseBundleRef();
}

PanelEditor::PanelEditor(EditorTarget target, long panelPicture, std::span<const PanelRow> rows,
                         float (*knobDefault)(long tag))
    : AEffGUIEditor(target),
      background(new CBitmap(panelPicture)),
      rows(rows),
      knobDefault(knobDefault),
      controls(rows.size(), nullptr) {
    rect = {0, 0, static_cast<VstInt16>(background->getHeight()), static_cast<VstInt16>(background->getWidth())};
    setKnobMode(2);  // knobs follow the pointer linearly
}

PanelEditor::~PanelEditor() { background->forget(); }

namespace {

// The entry of `menu` that the parameter value `value` stands for.
int entryOf(const PanelMenu& menu, float value) {
    CParameter map;
    map.setIndexRange(0, menu.count - 1, menu.scale);
    return map.getSetIndex(value);
}

// A display's text: rates in hertz on their 0.05 to 20 scale without a unit, whole
// percent (truncated), or a crossover frequency.
CParamDisplay::Convert convertOf(PanelText text) {
    if (text == PanelText::hertz) return [](float v, char* t) { frequencyStringConvert(v, t, "%.2f"); };
    if (text == PanelText::percent) return [](float v, char* t) { percentStringConvert(v, t); };
    return [](float v, char* t) { frequencyStringConvert(v, t); };
}

}  // namespace

CBitmap* PanelEditor::picture(long number) {
    for (auto [n, bitmap] : loaded)
        if (n == number) return bitmap;
    loaded.emplace_back(number, new CBitmap(number));
    return loaded.back().second;
}

bool PanelEditor::open(void* window) {
    AEffGUIEditor::open(window);
    frame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), window, this);
    frame->setBackground(background);
    COptionMenuScheme* scheme = newHouseMenuScheme(selectedText);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PanelRow& row = rows[i];
        const CRect at = rectOf(row.rect);
        const float value = row.kind == PanelKind::own ? 0.0f : parameters().get(static_cast<int>(row.tag));
        CControl* made = nullptr;
        switch (row.kind) {
            case PanelKind::knob: {
                auto* knob = new CAnimKnob(at, this, row.tag, row.frames, row.frameHeight, picture(row.picture));
                knob->setDefaultValue(knobDefault ? knobDefault(row.tag) : 0.5f);
                knob->setDoubleClickValue(parameters().defaultValue(static_cast<int>(row.tag)));
                made = knob;
                break;
            }
            case PanelKind::keyedButton:
                picture(row.picture)->setTransparentColor(kWhiteCColor);
                made = new COnOffButton(at, this, row.tag, picture(row.picture));
                made->setTransparency(true);
                break;
            case PanelKind::button: made = new COnOffButton(at, this, row.tag, picture(row.picture)); break;
            case PanelKind::display: {
                auto* display = new CParamDisplay(at, picture(row.picture), 1);
                setHouseText(display);
                display->setStringConvert(convertOf(row.text));
                made = display;
                break;
            }
            case PanelKind::menu: {
                auto* menu = new COptionMenu(at, this, row.tag, picture(row.picture),
                                             row.pressed ? picture(row.pressed) : nullptr, kCheckStyle);
                for (int e = 0; e < row.menu->count; ++e) menu->addEntry(row.menu->entries[e], -1);
                menu->setHoriAlign(row.text == PanelText::left ? kLeftText : kCenterText);
                menu->setScheme(scheme);
                setHouseText(menu);
                menu->setCurrent(entryOf(*row.menu, value), true);
                made = menu;
                break;
            }
            case PanelKind::own: made = makeOwn(row); break;
        }
        if (!made) continue;
        if (row.kind != PanelKind::menu && row.kind != PanelKind::own) made->setValue(value);
        frame->addView(controls[i] = made);
    }
    scheme->forget();
    prepareDrawings();
    // The controls hold their own references.
    for (auto [n, bitmap] : loaded) bitmap->forget();
    loaded.clear();
    setKnobMode(2);
    return true;
}

void PanelEditor::prepareDrawings() {
    // Everything the first draw shows, decoded now on two threads, the pictures shared
    // out by size, largest first. A panel at 2x shows in about two thirds of the time
    // on a machine with a core to spare; without a thread it is all decoded here, as
    // the first draw would.
    const int scale = frame->context()->pictureScale();
    std::vector<const CBitmap*> pictures{background};
    for (auto [n, bitmap] : loaded) pictures.push_back(bitmap);
    auto area = [](const CBitmap* b) { return static_cast<long>(b->getWidth()) * b->getHeight(); };
    std::sort(pictures.begin(), pictures.end(), [&](auto* a, auto* b) { return area(a) > area(b); });
    std::vector<const CBitmap*> here, there;
    long hereArea = 0, thereArea = 0;
    for (const CBitmap* b : pictures) {
        (thereArea <= hereArea ? there : here).push_back(b);
        (thereArea <= hereArea ? thereArea : hereArea) += area(b);
    }
    auto decode = [scale](const std::vector<const CBitmap*>& some) {
        for (const CBitmap* b : some) b->prepare(scale);
    };
    std::thread worker;
    try {
        worker = std::thread(decode, std::cref(there));
    } catch (const std::system_error&) {
        decode(there);
    }
    decode(here);
    if (worker.joinable()) worker.join();
}

void PanelEditor::close() {
    AEffGUIEditor::close();  // the frame deletes every control
    std::fill(controls.begin(), controls.end(), nullptr);
    tip = nullptr;
    tipTag = -1;
    background->releaseDrawings();  // decoded again at the next open's first draw
    // The frame, its window's buffer and the decoded pictures (a panel's size or more
    // each) have just been freed. Give their pages back now: glibc raises its trim
    // threshold to twice the largest block freed, so a heap top just under it would
    // otherwise stay with the process from close to close.
    malloc_trim(0);
}

CControl* PanelEditor::control(long tag) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].tag == tag) return controls[i];
    return nullptr;
}

void PanelEditor::valueChanged(CDrawContext*, CControl* changed) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!changed || controls[i] != changed) continue;
        const PanelRow& row = rows[i];
        const auto index = static_cast<VstInt32>(row.tag);
        if (row.kind == PanelKind::own) {
            ownChanged(changed);
        } else if (row.kind == PanelKind::menu) {
            const int entry = static_cast<COptionMenu*>(changed)->getCurrent(nullptr, true);
            if (entry >= 0 && entry < row.menu->count) setParameterAutomated(index, row.menu->values[entry]);
        } else {
            setParameterAutomated(index, changed->getValue());
            if (tip && row.tag == tipTag && row.kind == PanelKind::knob) {
                char text[160];
                parameters().display(index, text);
                const char* shown = text;
                while (*shown == ' ') ++shown;  // displays are padded for the host's columns
                tip->show(shown, rectOf(row.rect));
            }
        }
        return;
    }
}

void PanelEditor::refresh(VstInt32 index) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].tag != index || !controls[i] || rows[i].kind == PanelKind::own) continue;
        const float value = parameters().get(index);
        if (rows[i].kind == PanelKind::menu)
            static_cast<COptionMenu*>(controls[i])->setCurrent(entryOf(*rows[i].menu, value), true);
        else
            controls[i]->setValue(value);
    }
}

void PanelEditor::beginEdit(VstInt32 index) {
    AEffGUIEditor::beginEdit(index);
    bool knob = false, readOut = false;
    for (const PanelRow& row : rows) {
        if (row.tag != index) continue;
        knob = knob || row.kind == PanelKind::knob;
        readOut = readOut || row.kind == PanelKind::display;
    }
    if (!frame || !knob || readOut || tip) return;
    tipTag = index;
    frame->addView(tip = new CValueTip);
}

void PanelEditor::endEdit(VstInt32 index) {
    AEffGUIEditor::endEdit(index);
    if (index != tipTag || !tip) return;
    CValueTip* gone = tip;
    tip = nullptr;
    tipTag = -1;
    gone->hide();
    if (frame) frame->removeView(gone);
}

void PanelEditor::setParameter(VstInt32 index, float) {
    if (!isOpen()) return;
    refresh(index);
    refreshOwn(index);
    postUpdate();
}

bool AEffGUIEditor::getRect(ERect** out) {
    if (!out) return false;
    // `rect` is the panel's; the host sizes its window for the panel at the scale.
    const double s = getScale();
    shownRect = {rect.top, rect.left, static_cast<VstInt16>(rect.top + scaledLength(rect.bottom - rect.top, s)),
                 static_cast<VstInt16>(rect.left + scaledLength(rect.right - rect.left, s))};
    *out = &shownRect;
    return true;
}

bool AEffGUIEditor::open(void* window) {
    getScale();  // known before the frame is built
    // A second open builds afresh: the plug-in's close (virtual) lets go of the first
    // frame and its controls.
    if (frame) close();
    systemWindow = window;
    // The panel's open reads every value afresh; what was noted before is old news.
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
        if (const double chosen = std::exchange(chosenScale, 0.0); chosen > 0.0) {
            applyScale(chosen);
            writeChosenScale(chosen);
        }
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
    if (!frame) return;
    std::uint64_t changed = pendingParameters.exchange(0, std::memory_order_relaxed);
    for (VstInt32 index = 0; changed; ++index, changed >>= 1)
        if (changed & 1) setParameter(index, params->get(index));
    if (frame && tempoPending.exchange(false, std::memory_order_acquire))
        tempoChanged(pendingTempo.load(std::memory_order_relaxed));
}

void AEffGUIEditor::draw(ERect*) {
    if (frame) frame->draw();
}

VstIntPtr AEffGUIEditor::mouse(VstInt32 x, VstInt32 y) {
    // The host's effEditMouse gives panel pixels already, at every scale: only the
    // window's own events are brought back from the scale (CFrame::toPanel).
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
    params->set(index, value);
}

void AEffGUIEditor::beginEdit(VstInt32 index) { params->beginEdit(index); }

void AEffGUIEditor::endEdit(VstInt32 index) { params->endEdit(index); }

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

double AEffGUIEditor::getScale() {
    if (!scaleKnown) {
        scale = defaultScale();
        scaleKnown = true;
    }
    return scale;
}

bool AEffGUIEditor::setHostScale(double hostScale) {
    if (!std::isfinite(hostScale) || hostScale <= 0.0) return false;
    applyScale(nearestScale(hostScale));
    return true;
}

void AEffGUIEditor::chooseScale(double chosen) {
    // Asked from inside the frame's pop-up list: the frame is built anew at the next
    // idle, once the frame's own call has returned. A choice from the menu wins over an
    // earlier host scale for this editor: the user asked for it last.
    if (scaleIndex(chosen) >= 0) chosenScale = chosen;
}

bool AEffGUIEditor::openScaleMenu(const CPoint& where) {
    if (!frame) return false;
    if (!scaleMenu) scaleMenu = new ScaleMenu(*this);
    scaleMenu->open(*frame, where, getScale());
    return true;
}

void AEffGUIEditor::applyScale(double newScale) {
    const bool changed = !scaleKnown || newScale != scale;
    scale = newScale;
    scaleKnown = true;
    if (!changed || !frame) return;
    open(systemWindow);  // the plug-in's open builds the frame anew at the scale
    if (frame) frame->draw();
    ERect* shown = nullptr;
    getRect(&shown);
    params->resizeWindow(shown->right - shown->left, shown->bottom - shown->top);
}

bool AEffGUIEditor::snapshotAt(const char* path, double at) {
    if (!path || !std::isfinite(at) || at <= 0.0) return false;
    const double wanted = nearestScale(at);
    // An open editor is drawn as it shows.
    if (frame) return getScale() == wanted && snapshot(path);
    const double own = scale;
    const bool known = scaleKnown;
    scale = wanted;
    scaleKnown = true;
    const bool written = snapshot(path);
    scale = own;
    scaleKnown = known;
    return written;
}

}  // namespace orvex::gui
