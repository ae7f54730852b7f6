// The toolkit's retained-mode model: views in a frame, controls that carry one float
// value, a tag and a listener, and the frame that routes mouse and keys to them and
// redraws what is dirty at idle.
//
// Mouse gestures are event driven: a press reaches a view's `mouse`, which answers
// whether it takes the drag; the frame then sends it every move and the release
// (`onMouseMoved`, `onMouseUp`), or `onMouseCancelled` when the pointer leaves or the
// editor closes mid-drag. Nothing waits for the mouse.
//
// Threads: editor thread only (the host's user-interface thread).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bitmap.h"
#include "drawcontext.h"
#include "geometry.h"
#include "host/vst2.h"

namespace orvex::gui {

class AEffGUIEditor;
class CControl;
class CFrame;
class COptionMenu;
class PlatformWindow;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
};

class CView {
public:
    explicit CView(const CRect& size) : size(size), mouseableArea(size) {}
    virtual ~CView() = default;
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    virtual void draw(CDrawContext*) { setDirty(false); }
    virtual void drawRect(CDrawContext* context, const CRect&) { draw(context); }
    // A press inside the view; true when the view takes the drag that follows.
    virtual bool mouse(CDrawContext*, CPoint&, int /*buttons*/) { return false; }
    virtual void onMouseMoved(CDrawContext*, CPoint&, int /*buttons*/) {}
    virtual void onMouseUp(CDrawContext*, CPoint&, int /*buttons*/) {}
    virtual void onMouseCancelled(CDrawContext*) {}
    // 1 when the key was used, -1 when not.
    virtual int onKeyDown(VstKeyCode&) { return -1; }
    virtual int onKeyUp(VstKeyCode&) { return -1; }
    virtual bool onWheel(CDrawContext*, const CPoint&, float /*distance*/, int /*buttons*/) { return false; }
    virtual void looseFocus(CDrawContext* = nullptr) {}
    virtual void takeFocus(CDrawContext* = nullptr) {}

    virtual bool isDirty() const { return dirty; }
    virtual void setDirty(bool value = true) { dirty = value; }
    virtual void setMouseEnabled(bool enable = true) { mouseEnabled = enable; }
    virtual bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    virtual CRect& getMouseableArea(CRect& rect) const { return rect = mouseableArea; }
    virtual bool hitTest(const CPoint& where, int /*buttons*/ = -1) { return mouseableArea.pointInside(where); }
    virtual void setTransparency(bool value) { transparencyEnabled = value; }
    virtual bool getTransparency() const { return transparencyEnabled; }
    virtual void setViewSize(const CRect& rect) {
        size = rect;
        mouseableArea = rect;
        setDirty();
    }
    virtual CRect& getViewSize(CRect& rect) const { return rect = size; }
    virtual void setParent(CFrame* frame) { parent = frame; }
    virtual AEffGUIEditor* getEditor() const;
    virtual bool removed(CView*) { return true; }
    // Drawn over other views (a floating label): drawn again whenever one under it is.
    virtual bool floats() const { return false; }
    virtual bool attached(CView*) { return true; }

    // Drops one reference; the last one deletes the view.
    void forget();
    void remember() { ++references; }
    int getNbReference() const { return references; }

    CFrame* getFrame() const { return parent; }
    const CRect& getSize() const { return size; }

protected:
    CRect size;
    CRect mouseableArea;
    CFrame* parent = nullptr;
    bool dirty = false;
    bool mouseEnabled = true;
    bool transparencyEnabled = false;
    int references = 1;
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0, CBitmap* background = nullptr);
    ~CControl() override;

    // Dirty: the value differs from the one last drawn, or the flag is set.
    bool isDirty() const override { return value != oldValue || dirty; }
    void setDirty(bool value = true) override;

    virtual void doIdleStuff();
    virtual void setValue(float newValue) { value = newValue; }
    virtual float getValue() const { return value; }
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(long newTag) { tag = newTag; }
    long getTag() const { return tag; }
    virtual void setBackground(CBitmap* bitmap);
    virtual CBitmap* getBackground() const { return background; }
    virtual void setBackOffset(const CPoint& offset) { backOffset = offset; }
    virtual void copyBackOffset() { backOffset = CPoint(size.left, size.top); }
    virtual void setWheelInc(float v) { wheelInc = v; }
    virtual float getWheelInc() const { return wheelInc; }
    // Keeps the value inside minimum..maximum.
    virtual void bounceValue();

protected:
    // Tells the listener when the value changed since it was last drawn.
    void notifyIfDirty(CDrawContext* context);
    void beginEdit();
    void endEdit();

    CControlListener* listener;
    long tag;
    float oldValue = 1.0f;
    float defaultValue = 0.5f;
    float value = 0.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float wheelInc = 0.1f;
    CBitmap* background = nullptr;
    CPoint backOffset;
};

class CFrame : public CView {
public:
    // `window` is the host's window to open a child window in, or null for a frame
    // that draws offscreen only. The frame shows at its editor's scale (1x without
    // one): views draw in panel pixels onto a surface of the whole scale above it, which
    // a fractional scale reduces to the window's size.
    CFrame(const CRect& size, void* window, AEffGUIEditor* editor);
    ~CFrame() override;

    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }
    // The frame owns the view from now on.
    void addView(CView* view);
    // Takes `view` out, draws its place again and forgets it.
    void removeView(CView* view);
    int getNbViews() const { return static_cast<int>(views.size()); }
    CView* getView(int index) const;

    // The background at (0, 0), then every view in the order added.
    void draw(CDrawContext* context) override;
    void draw() { draw(context()); }
    // Once drawn, every dirty view is drawn again, and so is every floating view over
    // one drawn. A frame in a window not yet drawn is drawn whole.
    void idle();
    // Draws `area` again: the background there and every view that reaches into it.
    void redraw(const CRect& area);

    // The scale the frame shows at, and the window's size at that scale.
    double getScale() const { return scale; }
    CRect windowSize() const { return shownSize; }
    // A point of the window (or of a picture of it at the scale) in panel pixels.
    CPoint toPanel(int x, int y) const;
    // The panel pixels of a rectangle of the window, rounded outwards.
    CRect toPanel(const CRect& windowRect) const;

    // Input, in panel pixels, from the platform window or the host.
    bool onMouseDown(const CPoint& where, int buttons);
    void onMouseMove(const CPoint& where, int buttons);
    void onMouseRelease(const CPoint& where, int buttons);
    void cancelDrag();
    using CView::onWheel;  // a frame takes the wheel from its window, not as a view
    bool onWheel(const CPoint& where, float distance, int buttons);
    int onKeyDown(VstKeyCode& key) override;
    int onKeyUp(VstKeyCode& key) override;

    void setEditView(CView* view);
    CView* getEditView() const { return editView; }
    CView* getDragView() const { return dragView; }

    // The pop-up list of an option menu, shown by the platform window (or, offscreen,
    // held until `choosePopupEntry`/`dismissPopup`).
    void openPopup(COptionMenu* menu);
    COptionMenu* getPopup() const { return popup; }
    void choosePopupEntry(int index);
    void dismissPopup();

    void beginEdit(long tag);
    void endEdit(long tag);
    int getKnobMode() const;
    AEffGUIEditor* getEditor() const override { return editor; }

    CDrawContext* context() { return drawContext.get(); }
    // The frame's pixels at the whole scale it draws at.
    cairo_surface_t* getSurface() const { return surface; }
    // The pixels the window shows (the frame's own at a whole scale).
    cairo_surface_t* getWindowSurface() const { return shown ? shown : surface; }
    // What was drawn since the last call, brought to the window's pixels; the damaged
    // rectangle in window pixels (empty when nothing was drawn).
    CRect present();
    // The window's pixels (after `present`) as a PNG file.
    bool writePng(const std::string& path);
    PlatformWindow* getPlatformWindow() const { return window.get(); }
    // Pixels drawn since the platform window last showed them.
    CRect takeDamage();
    void damage(const CRect& rect) { damaged = damaged.unionWith(rect); }

private:
    CView* viewAt(const CPoint& where) const;

    AEffGUIEditor* editor;
    CBitmap* background = nullptr;
    std::vector<CView*> views;
    CView* editView = nullptr;
    CView* dragView = nullptr;
    COptionMenu* popup = nullptr;
    bool firstDraw = true;
    double scale;
    int pictureScale;
    CRect shownSize;
    cairo_surface_t* surface;
    cairo_surface_t* shown = nullptr;  // the reduced pixels of a fractional scale
    std::unique_ptr<CDrawContext> drawContext;
    std::unique_ptr<PlatformWindow> window;
    CRect damaged;
};

}  // namespace orvex::gui
