// The controls the editors are built from: film-strip knobs, two-state buttons, value
// displays, text fields and option menus.
//
// Threads: editor thread only.
#pragma once

#include <string>
#include <vector>

#include "view.h"

namespace orvex::gui {

// Rotary control dragged linearly or around its centre, with the wheel and arrow keys.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = {});

    bool mouse(CDrawContext* context, CPoint& where, int buttons) override;
    void onMouseMoved(CDrawContext* context, CPoint& where, int buttons) override;
    void onMouseUp(CDrawContext* context, CPoint& where, int buttons) override;
    void onMouseCancelled(CDrawContext* context) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance, int buttons) override;
    int onKeyDown(VstKeyCode& key) override;

    virtual void setStartAngle(float angle) { startAngle = angle; }
    virtual float getStartAngle() const { return startAngle; }
    virtual void setRangeAngle(float angle) { rangeAngle = angle; }
    virtual float getRangeAngle() const { return rangeAngle; }
    // The value the pointer at `where` stands for on the circle, limited to the range.
    virtual float valueFromPoint(const CPoint& where) const;
    virtual void setZoomFactor(float factor) { zoomFactor = factor; }
    virtual float getZoomFactor() const { return zoomFactor; }
    // Where a double click puts the knob: the parameter's own default, which may differ
    // from the value the modifier click resets to (`setDefaultValue`).
    void setDoubleClickValue(float v) { doubleClickValue = v; }
    float getDoubleClickValue() const { return doubleClickValue; }

protected:
    void moveTo(CDrawContext* context, float newValue);

    float startAngle;
    float rangeAngle;
    float zoomFactor = 1.5f;
    float doubleClickValue = 0.5f;
    // Drag state.
    bool dragging = false;
    bool linear = true;
    bool fine = false;
    CPoint start;
    float startValue = 0.0f;
};

class CAnimKnob : public CKnob {
public:
    // `subPixmaps` pictures of `heightOfOneImage` pixels stacked vertically in `background`.
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, int subPixmaps, int heightOfOneImage,
              CBitmap* background, const CPoint& offset = {});
    void draw(CDrawContext* context) override;
    // The top of the sub-image that the value shows.
    int subImageTop() const;

private:
    int subPixmaps;
    int heightOfOneImage;
};

// Off shows the top half of its picture, on the bottom half; a click toggles.
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background);
    void draw(CDrawContext* context) override;
    bool mouse(CDrawContext* context, CPoint& where, int buttons) override;
};

// Style bits of displays, text fields and menus.
enum CParamDisplayStyle : int {
    kShadowText = 1 << 2,
    k3DIn = 1 << 7,
    k3DOut = 1 << 8,
    kCheckStyle = 1 << 10,
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
    kDoubleClickStyle = 1 << 13,
};

// A label floating over the panel: the value of a knob being turned where the panel
// has no read-out of its own, above the knob (where the pointer took it) or below it
// when there is no room above. The frame's last view, so it is drawn over what it
// covers; whatever it leaves is drawn again.
class CValueTip : public CView {
public:
    CValueTip() : CView(CRect()) { setMouseEnabled(false); }
    // Shows `text` beside `anchor`, inside the frame.
    void show(const std::string& text, const CRect& anchor);
    void hide();
    bool isShown() const { return shown; }
    bool floats() const override { return true; }
    const std::string& getText() const { return text; }
    void draw(CDrawContext* context) override;

private:
    std::string text;
    bool shown = false;
};

// A value shown as text over a background.
class CParamDisplay : public CControl {
public:
    using Convert = void (*)(float value, char* text);
    using ConvertWithData = void (*)(float value, char* text, void* userData);
    using String2Float = bool (*)(const char* text, float& value);

    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int style = 0);
    void draw(CDrawContext* context) override;

    virtual void setFont(int newFont) { font = newFont; setDirty(); }
    virtual void setFontColor(const CColor& color) { fontColor = color; setDirty(); }
    virtual void setBackColor(const CColor& color) { backColor = color; setDirty(); }
    virtual void setFrameColor(const CColor& color) { frameColor = color; setDirty(); }
    virtual void setShadowColor(const CColor& color) { shadowColor = color; setDirty(); }
    virtual void setHoriAlign(int align) { horiAlign = align; setDirty(); }
    virtual void setStringConvert(Convert convert) { stringConvert = convert; setDirty(); }
    virtual void setStringConvert(ConvertWithData convert, void* data) {
        stringConvert2 = convert;
        userData = data;
        setDirty();
    }
    virtual void setString2FloatConvert(String2Float convert) { string2Float = convert; }
    virtual void setStyle(int newStyle) { style = newStyle; setDirty(); }
    virtual void setTxtFace(int face) { txtFace = face; setDirty(); }
    virtual void setTextTransparency(bool value) { textTransparency = value; setDirty(); }

    int getStyle() const { return style; }
    int getFont() const { return font; }
    int getHoriAlign() const { return horiAlign; }
    const CColor& getFontColor() const { return fontColor; }
    // The text the display shows for its value.
    virtual std::string text() const;

protected:
    // Background, frame and text as the style asks, for `shown`.
    void drawText(CDrawContext* context, const std::string& shown);

    int style;
    int font = kNormalFont;  // font 3
    int txtFace = kNormalFace;
    int horiAlign = kCenterText;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CColor shadowColor = kRedCColor;
    bool textTransparency = true;
    Convert stringConvert = nullptr;
    ConvertWithData stringConvert2 = nullptr;
    void* userData = nullptr;
    String2Float string2Float = nullptr;
};

// Text edited in place: a click gives it the keyboard focus, Enter or a click
// elsewhere takes the typed text, Escape drops it.
class CTextEdit : public CParamDisplay {
public:
    static constexpr int kMaxText = 255;
    using EditConvert = void (*)(char* input, char* output);

    CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = nullptr,
              CBitmap* background = nullptr, int style = 0);
    ~CTextEdit() override;

    void draw(CDrawContext* context) override;
    bool mouse(CDrawContext* context, CPoint& where, int buttons) override;
    int onKeyDown(VstKeyCode& key) override;
    void takeFocus(CDrawContext* context = nullptr) override;
    void looseFocus(CDrawContext* context = nullptr) override;

    // At most 255 characters; dirty only when the text differs.
    virtual void setText(const char* newText);
    virtual void getText(char* out) const;
    virtual void setTextEditConvert(EditConvert convert) { editConvert = convert; }

    const std::string& getText() const { return textValue; }
    bool isEditing() const { return editing; }
    // Typing, for the platform window and tests: one character, Backspace, Enter (take
    // the text) or Escape (drop it).
    void type(const std::string& characters);
    void backspace();
    void commit();
    void cancel();

private:
    std::string textValue;
    std::string editBuffer;
    bool editing = false;
    bool cancelled = false;
    EditConvert editConvert = nullptr;
};

// The colours and font of an option menu's pop-up list.
class COptionMenuScheme {
public:
    void setColors(const CColor& background, const CColor& selectedBackground, const CColor& text,
                   const CColor& selectedText, const CColor& disabledText) {
        backgroundColor = background;
        selectedBackgroundColor = selectedBackground;
        textColor = text;
        selectedTextColor = selectedText;
        disabledTextColor = disabledText;
    }
    void remember() { ++references; }
    void forget();

    // Draws entry `text` into `rect` of a pop-up list, selected or checked as asked;
    // "-" is a separator line.
    void drawItem(CDrawContext* context, const CRect& rect, const std::string& text, bool selected,
                  bool checked) const;

    CColor backgroundColor = kGreyCColor;
    CColor selectedBackgroundColor = kBlueCColor;
    CColor textColor = kBlackCColor;
    CColor selectedTextColor = kWhiteCColor;
    CColor disabledTextColor = kWhiteCColor;
    int font = kNormalFontSmall;  // font 4

private:
    int references = 1;
};

class COptionMenu : public CParamDisplay {
public:
    static constexpr int kMaxEntries = 1024;
    static constexpr int kMaxEntryText = 255;

    COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
                CBitmap* backgroundWhenClicked = nullptr, int style = 0);
    ~COptionMenu() override;

    void draw(CDrawContext* context) override;
    bool mouse(CDrawContext* context, CPoint& where, int buttons) override;
    // Makes entry `index` current when it exists.
    void setValue(float newValue) override;

    // Appends at -1 (or inserts at `index`); false beyond 1024 entries.
    virtual bool addEntry(const char* text, int index = -1);
    virtual int getCurrent(char* text = nullptr, bool countSeparator = true) const;
    virtual bool setCurrent(int index, bool countSeparator = true);
    virtual bool getEntry(int index, char* text) const;
    virtual bool setEntry(int index, const char* text);
    virtual bool removeEntry(int index);
    virtual bool removeAllEntry();
    virtual int getNbEntries() const { return static_cast<int>(entries.size()); }
    virtual COptionMenuScheme* getScheme() const { return scheme; }
    void setScheme(COptionMenuScheme* newScheme);

    const std::string& entry(int index) const { return entries[static_cast<std::size_t>(index)]; }
    std::string text() const override;
    // A choice from the pop-up list: the entry becomes current and the listener hears.
    void choose(CDrawContext* context, int index);

private:
    std::vector<std::string> entries;
    int current = 0;
    CBitmap* clickedBackground = nullptr;
    COptionMenuScheme* scheme = nullptr;
};

}  // namespace orvex::gui
