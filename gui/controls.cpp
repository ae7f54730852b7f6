#include "controls.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "editor.h"

namespace orvex::gui {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr int kLinearPixels = 200;  // pixels for the whole range in a linear drag

bool resetsToDefault(int buttons) { return buttons == (kLButton | kCommand); }

// A left click with the control key held reads as a right click.
int effectiveButtons(int buttons) {
    if ((buttons & kLButton) && (buttons & kControlKey)) return (buttons & ~kLButton) | kRButton;
    return buttons;
}

}  // namespace

// CKnob ---------------------------------------------------------------------------

CKnob::CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background, CBitmap*,
             const CPoint&)
    : CControl(size, listener, tag, background), startAngle(1.25f * kPi), rangeAngle(-1.5f * kPi) {}

float CKnob::valueFromPoint(const CPoint& where) const {
    const float dx = static_cast<float>(where.h) - (size.left + size.width() / 2.0f);
    const float dy = (size.top + size.height() / 2.0f) - static_cast<float>(where.v);
    const float angle = std::atan2(dy, dx);
    // Distance travelled from the start angle in the direction of the range.
    float travelled = (angle - startAngle) / rangeAngle * std::fabs(rangeAngle);
    const float turn = 2.0f * kPi;
    travelled = std::fmod(std::fmod(travelled, turn) + turn, turn);
    const float range = std::fabs(rangeAngle);
    float fraction;
    if (travelled <= range)
        fraction = travelled / range;
    else  // in the gap: the nearer end
        fraction = travelled - range < turn - travelled ? 1.0f : 0.0f;
    return vmin + fraction * (vmax - vmin);
}

void CKnob::moveTo(CDrawContext* context, float newValue) {
    value = newValue;
    bounceValue();
    notifyIfDirty(context);
}

bool CKnob::mouse(CDrawContext* context, CPoint& where, int buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return false;
    if (resetsToDefault(buttons)) {
        value = defaultValue;
        notifyIfDirty(context);
        return false;
    }
    if (buttons & kDoubleClick) {
        // The first click of the pair began and ended a drag that went nowhere; the
        // second sets the default as a gesture of its own.
        beginEdit();
        value = doubleClickValue;
        notifyIfDirty(context);
        endEdit();
        return false;
    }
    const int mode = parent ? parent->getKnobMode() : AEffGUIEditor::getKnobMode();
    const bool option = (buttons & kOption) != 0;
    linear = (mode == 2) != option;
    fine = (buttons & kShift) != 0;
    start = where;
    startValue = value;
    dragging = true;
    beginEdit();
    if (!linear) onMouseMoved(context, where, buttons);
    return true;
}

void CKnob::onMouseMoved(CDrawContext* context, CPoint& where, int buttons) {
    if (!dragging) return;
    if (linear) {
        const bool shift = (buttons & kShift) != 0;
        if (shift != fine) {
            // Shift pressed or released mid-drag: carry on from where the value is.
            fine = shift;
            start = where;
            startValue = value;
        }
        const float pixels = fine ? kLinearPixels * zoomFactor : static_cast<float>(kLinearPixels);
        const float step = (vmax - vmin) / pixels;
        moveTo(context, startValue + static_cast<float>((where.h - start.h) - (where.v - start.v)) * step);
    } else {
        float next = valueFromPoint(where);
        // A jump of more than half the range is the pointer crossing the gap.
        if (std::fabs(next - value) > 0.5f * (vmax - vmin)) next = value > 0.5f * (vmin + vmax) ? vmax : vmin;
        moveTo(context, next);
    }
}

void CKnob::onMouseUp(CDrawContext*, CPoint&, int) {
    if (!dragging) return;
    dragging = false;
    endEdit();
}

void CKnob::onMouseCancelled(CDrawContext*) {
    if (!dragging) return;
    dragging = false;
    endEdit();
}

bool CKnob::onWheel(CDrawContext* context, const CPoint&, float distance, int buttons) {
    if (!mouseEnabled) return false;
    const float step = (buttons & kShift) ? wheelInc * 0.1f : wheelInc;
    moveTo(context, value + distance * step);
    return true;
}

int CKnob::onKeyDown(VstKeyCode& key) {
    float direction = 0.0f;
    switch (key.virt) {
        case VKEY_LEFT:
        case VKEY_DOWN: direction = -1.0f; break;
        case VKEY_UP:
        case VKEY_RIGHT: direction = 1.0f; break;
        default: return -1;
    }
    const float step = (key.modifier & MODIFIER_SHIFT) ? wheelInc * 0.1f : wheelInc;
    moveTo(parent ? parent->context() : nullptr, value + direction * step);
    return 1;
}

// CAnimKnob -----------------------------------------------------------------------

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, long tag, int subPixmaps, int heightOfOneImage,
                     CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage) {}

int CAnimKnob::subImageTop() const {
    const int h = heightOfOneImage;
    if (h <= 0 || subPixmaps <= 0) return 0;
    const float shown = value;
    // Values outside 0..1 (or not a number) show the first or last picture.
    if (!(shown > 0.0f)) return 0;
    const int last = (subPixmaps - 1) * h;
    if (shown >= 1.0f) return last;
    int y = static_cast<int>(shown * static_cast<float>(subPixmaps - 1) * static_cast<float>(h));
    if (y % h != 0) y = (y / h + 1) * h;
    return std::min(y, last);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background) {
        const CPoint from(0, subImageTop());
        if (transparencyEnabled)
            background->drawTransparent(context, size, from);
        else
            background->draw(context, size, from);
    }
    setDirty(false);
}

// COnOffButton --------------------------------------------------------------------

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

void COnOffButton::draw(CDrawContext* context) {
    if (background) {
        const CPoint from(0, value == 0.0f ? 0 : background->getHeight() / 2);
        if (transparencyEnabled)
            background->drawTransparent(context, size, from);
        else
            background->draw(context, size, from);
    }
    setDirty(false);
}

bool COnOffButton::mouse(CDrawContext* context, CPoint&, int buttons) {
    if (!mouseEnabled || !(effectiveButtons(buttons) & kLButton)) return false;
    value = static_cast<int>(value) == 0 ? 1.0f : 0.0f;
    // The host records the switch as one touch of the parameter. The idle comes after
    // it: one that ran first would draw the new value and leave nothing to report.
    beginEdit();
    notifyIfDirty(context);
    endEdit();
    doIdleStuff();
    return false;
}

// CParamDisplay -------------------------------------------------------------------

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int style)
    : CControl(size, nullptr, 0, background), style(style) {}

std::string CParamDisplay::text() const {
    char buffer[256] = {};
    if (stringConvert2)
        stringConvert2(value, buffer, userData);
    else if (stringConvert)
        stringConvert(value, buffer);
    else
        std::snprintf(buffer, sizeof buffer, "%2.2f", static_cast<double>(value));
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

void CParamDisplay::drawText(CDrawContext* context, const std::string& shown) {
    if (!context) return;
    if (!(style & kNoDrawStyle)) {
        if (background) {
            if (transparencyEnabled)
                background->drawTransparent(context, size, backOffset);
            else
                background->draw(context, size, backOffset);
        } else if (!transparencyEnabled) {
            context->setFillColor(backColor);
            context->fillRect(size);
            if (!(style & (k3DIn | k3DOut))) {
                context->setFrameColor(frameColor);
                context->drawRect(size);
            }
        }
        if (style & (k3DIn | k3DOut)) {
            // A two-colour edge: light on the top and left for "out", the other way in.
            const CColor topLeft = (style & k3DIn) ? frameColor : backColor;
            const CColor bottomRight = (style & k3DIn) ? backColor : frameColor;
            context->setFrameColor(topLeft);
            context->drawLine({size.left, size.bottom - 1}, {size.left, size.top});
            context->drawLine({size.left, size.top}, {size.right - 1, size.top});
            context->setFrameColor(bottomRight);
            context->drawLine({size.right - 1, size.top}, {size.right - 1, size.bottom - 1});
            context->drawLine({size.right - 1, size.bottom - 1}, {size.left, size.bottom - 1});
        }
    }
    if (!(style & kNoTextStyle)) {
        context->setFont(font, txtFace);
        if (style & kShadowText) {
            context->setFontColor(shadowColor);
            CRect shadow = size;
            context->drawString(shown, shadow.offset(1, 1), horiAlign);
        }
        context->setFontColor(fontColor);
        context->drawString(shown, size, horiAlign);
    }
}

void CParamDisplay::draw(CDrawContext* context) {
    drawText(context, text());
    setDirty(false);
}

// CTextEdit -----------------------------------------------------------------------

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* initial,
                     CBitmap* background, int style)
    : CParamDisplay(size, background, style) {
    this->listener = listener;
    this->tag = tag;
    if (initial) setText(initial);
}

CTextEdit::~CTextEdit() = default;

void CTextEdit::setText(const char* newText) {
    std::string next = newText ? newText : "";
    if (next.size() > kMaxText) next.resize(kMaxText);
    if (next == textValue) return;
    textValue = next;
    setDirty();
}

void CTextEdit::getText(char* out) const {
    if (out) std::memcpy(out, textValue.c_str(), textValue.size() + 1);
}

void CTextEdit::draw(CDrawContext* context) {
    if (editing) {
        drawText(context, editBuffer + "|");
    } else if (editConvert) {
        char input[kMaxText + 1];
        char output[kMaxText + 1] = {};
        getText(input);
        editConvert(input, output);
        output[kMaxText] = 0;
        drawText(context, output);
    } else {
        drawText(context, textValue);
    }
    setDirty(false);
}

bool CTextEdit::mouse(CDrawContext*, CPoint&, int buttons) {
    if (!mouseEnabled || !(buttons & kLButton)) return false;
    if ((style & kDoubleClickStyle) && !(buttons & kDoubleClick)) return false;
    if (parent) parent->setEditView(this);
    return false;
}

void CTextEdit::takeFocus(CDrawContext*) {
    editing = true;
    cancelled = false;
    editBuffer = textValue;
    setDirty();
}

void CTextEdit::looseFocus(CDrawContext* context) {
    if (!editing) return;
    editing = false;
    const std::string before = textValue;
    if (!cancelled) {
        textValue = editBuffer;
        setDirty();
        if (textValue != before && listener) listener->valueChanged(context, this);
    }
    setDirty();
}

void CTextEdit::type(const std::string& characters) {
    if (!editing) return;
    for (char c : characters)
        if (static_cast<unsigned char>(c) >= 0x20 && editBuffer.size() < kMaxText) editBuffer += c;
    setDirty();
}

void CTextEdit::backspace() {
    if (!editing || editBuffer.empty()) return;
    editBuffer.pop_back();
    setDirty();
}

void CTextEdit::commit() {
    if (editing && parent && parent->getEditView() == this)
        parent->setEditView(nullptr);
    else
        looseFocus(parent ? parent->context() : nullptr);
}

void CTextEdit::cancel() {
    cancelled = true;
    commit();
}

int CTextEdit::onKeyDown(VstKeyCode& key) {
    if (!editing) return -1;
    switch (key.virt) {
        case VKEY_RETURN:
        case VKEY_ENTER: commit(); return 1;
        case VKEY_ESCAPE: cancel(); return 1;
        case VKEY_BACK: backspace(); return 1;
        default: break;
    }
    if (key.character >= 0x20 && key.character < 0x7F) {
        type(std::string(1, static_cast<char>(key.character)));
        return 1;
    }
    return -1;
}

// COptionMenuScheme -----------------------------------------------------------------

void COptionMenuScheme::forget() {
    if (--references == 0) delete this;
}

void COptionMenuScheme::drawItem(CDrawContext* context, const CRect& rect, const std::string& text, bool selected,
                                 bool checked) const {
    context->setFillColor(selected ? selectedBackgroundColor : backgroundColor);
    context->fillRect(rect);
    if (text == "-") {
        context->setFrameColor(disabledTextColor);
        const int y = rect.top + rect.height() / 2;
        context->drawLine({rect.left + 2, y}, {rect.right - 3, y});
        return;
    }
    context->setFont(font);
    context->setFontColor(selected ? selectedTextColor : textColor);
    CRect textRect(rect.left + 14, rect.top, rect.right - 2, rect.bottom);
    context->drawString(text, textRect, kLeftText);
    if (checked) context->drawString("\u2713", CRect(rect.left + 1, rect.top, rect.left + 14, rect.bottom));
}

// COptionMenu ---------------------------------------------------------------------

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         CBitmap* backgroundWhenClicked, int style)
    : CParamDisplay(size, background, style), clickedBackground(backgroundWhenClicked) {
    this->listener = listener;
    this->tag = tag;
    if (clickedBackground) clickedBackground->remember();
    entries.reserve(32);
}

COptionMenu::~COptionMenu() {
    if (parent && parent->getPopup() == this) parent->dismissPopup();
    if (clickedBackground) clickedBackground->forget();
    if (scheme) scheme->forget();
}

void COptionMenu::setScheme(COptionMenuScheme* newScheme) {
    if (newScheme) newScheme->remember();
    if (scheme) scheme->forget();
    scheme = newScheme;
}

bool COptionMenu::addEntry(const char* text, int index) {
    if (getNbEntries() >= kMaxEntries) return false;
    std::string entryText = text ? text : "";
    if (entryText.size() > kMaxEntryText) entryText.resize(kMaxEntryText);
    if (index < 0 || index > getNbEntries())
        entries.push_back(entryText);
    else
        entries.insert(entries.begin() + index, entryText);
    return true;
}

int COptionMenu::getCurrent(char* text, bool) const {
    if (text) getEntry(current, text);
    return current;
}

bool COptionMenu::setCurrent(int index, bool) {
    if (index < 0 || index >= getNbEntries()) return false;
    current = index;
    value = static_cast<float>(index);
    setDirty();
    return true;
}

bool COptionMenu::getEntry(int index, char* text) const {
    if (!text || index < 0 || index >= getNbEntries()) return false;
    std::memcpy(text, entry(index).c_str(), entry(index).size() + 1);
    return true;
}

bool COptionMenu::setEntry(int index, const char* text) {
    if (!text || index < 0 || index >= getNbEntries()) return false;
    entries[static_cast<std::size_t>(index)] = std::string(text).substr(0, kMaxEntryText);
    setDirty();
    return true;
}

bool COptionMenu::removeEntry(int index) {
    if (index < 0 || index >= getNbEntries()) return false;
    entries.erase(entries.begin() + index);
    if (current >= getNbEntries()) current = std::max(0, getNbEntries() - 1);
    return true;
}

bool COptionMenu::removeAllEntry() {
    entries.clear();
    current = 0;
    return true;
}

void COptionMenu::setValue(float newValue) {
    // NaN and values outside the list leave it as it is.
    if (!(newValue >= 0.0f && newValue < static_cast<float>(getNbEntries()))) return;
    setCurrent(static_cast<int>(newValue));
}

std::string COptionMenu::text() const { return current < getNbEntries() ? entry(current) : std::string(); }

void COptionMenu::draw(CDrawContext* context) {
    drawText(context, text());
    setDirty(false);
}

bool COptionMenu::mouse(CDrawContext*, CPoint&, int buttons) {
    if (!mouseEnabled || !(effectiveButtons(buttons) & (kLButton | kRButton))) return false;
    if (parent) parent->openPopup(this);
    return false;
}

void COptionMenu::choose(CDrawContext* context, int index) {
    if (index < 0 || index >= getNbEntries() || entry(index) == "-") return;
    setValue(static_cast<float>(index));
    if (listener) listener->valueChanged(context, this);
}

void CValueTip::show(const std::string& newText, const CRect& anchor) {
    if (!parent) return;
    CDrawContext* context = parent->context();
    constexpr int kHeight = 14, kPadding = 4, kGap = 2;
    int width = 2 * kPadding + 40;
    if (context) {
        context->setFont(kHouseFont);
        width = std::max(width, context->getStringWidth(newText) + 2 * kPadding);
    }
    const CRect& panel = parent->getSize();
    int top = anchor.top - kGap - kHeight;
    if (top < panel.top) top = anchor.bottom + kGap;
    int left = (anchor.left + anchor.right - width) / 2;
    left = std::max(panel.left, std::min(left, panel.right - width));
    const CRect at(left, top, left + width, top + kHeight);
    if (shown && at == size && newText == text) return;
    const CRect old = size;
    const bool wasShown = shown;
    text = newText;
    shown = true;
    size = mouseableArea = at;
    if (wasShown && !(old == at)) parent->redraw(old);
    setDirty();
}

void CValueTip::hide() {
    if (!shown) return;
    shown = false;
    if (parent) parent->redraw(size);
}

void CValueTip::draw(CDrawContext* context) {
    setDirty(false);
    if (!shown || !context) return;
    context->setFillColor(kHouseFieldColor);
    context->fillRect(size);
    context->setFrameColor(kHouseTextColor);
    context->drawRect(size);
    context->setFont(kHouseFont);
    context->setFontColor(kHouseTextColor);
    context->drawString(text, size, kCenterText);
}

}  // namespace orvex::gui
