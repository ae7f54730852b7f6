#include "view.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "controls.h"
#include "editor.h"
#include "platformwindow.h"
#include "scale.h"

namespace orvex::gui {

void CView::forget() {
    if (--references == 0) delete this;
}

AEffGUIEditor* CView::getEditor() const { return parent ? parent->getEditor() : nullptr; }

// CControl ------------------------------------------------------------------------

CControl::CControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CView(size), listener(listener), tag(tag) {
    setBackground(background);
}

CControl::~CControl() {
    if (background) background->forget();
}

void CControl::setDirty(bool value) {
    dirty = value;
    if (value) {
        if (oldValue == this->value) oldValue = this->value == -1.0f ? 0.0f : -1.0f;
    } else {
        oldValue = this->value;
    }
}

void CControl::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty();
}

void CControl::bounceValue() {
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

void CControl::doIdleStuff() {
    if (AEffGUIEditor* editor = getEditor()) editor->doIdleStuff();
}

void CControl::notifyIfDirty(CDrawContext* context) {
    if (listener && isDirty()) listener->valueChanged(context, this);
}

void CControl::beginEdit() {
    if (parent) parent->beginEdit(tag);
}

void CControl::endEdit() {
    if (parent) parent->endEdit(tag);
}

// CFrame --------------------------------------------------------------------------

CFrame::CFrame(const CRect& size, void* parentWindow, AEffGUIEditor* editor)
    : CView(CRect(0, 0, std::max(size.width(), 1), std::max(size.height(), 1))),
      editor(editor),
      scale(nearestScale(editor ? editor->getScale() : 1.0)),
      pictureScale(drawingScale(scale)),
      shownSize(0, 0, scaledLength(this->size.width(), scale), scaledLength(this->size.height(), scale)),
      surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, this->size.width() * pictureScale,
                                         this->size.height() * pictureScale)) {
    // Every drawing call stays in panel pixels; the context takes the device scale of
    // the surface when it is made, so the scale comes first.
    cairo_surface_set_device_scale(surface, pictureScale, pictureScale);
    if (scale != pictureScale)
        shown = cairo_image_surface_create(CAIRO_FORMAT_RGB24, shownSize.width(), shownSize.height());
    drawContext = std::make_unique<CDrawContext>(surface, pictureScale);
    parent = this;
    if (parentWindow) window = PlatformWindow::create(parentWindow, *this);
}

CFrame::~CFrame() {
    cancelDrag();
    window.reset();
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        (*it)->removed(this);
        (*it)->forget();
    }
    views.clear();
    if (background) background->forget();
    drawContext.reset();
    cairo_surface_destroy(surface);
    if (shown) cairo_surface_destroy(shown);
}

void CFrame::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
}

void CFrame::addView(CView* view) {
    if (!view) return;
    views.push_back(view);
    view->setParent(this);
    view->attached(this);
}

void CFrame::removeView(CView* view) {
    const auto it = std::find(views.begin(), views.end(), view);
    if (it == views.end()) return;
    views.erase(it);
    if (dragView == view) dragView = nullptr;
    if (editView == view) editView = nullptr;
    view->removed(this);
    redraw(view->getSize());
    view->forget();
}

CView* CFrame::getView(int index) const {
    return index >= 0 && index < getNbViews() ? views[static_cast<std::size_t>(index)] : nullptr;
}

void CFrame::draw(CDrawContext* context) {
    if (!context) return;
    if (background) background->draw(context, CRect(0, 0, background->getWidth(), background->getHeight()));
    for (CView* view : views) view->draw(context);
    firstDraw = false;
    damage(size);
    if (window) window->show();
}

void CFrame::idle() {
    if (firstDraw) {
        // Linux hosts do not send effEditDraw: a frame in a window draws itself whole
        // at its first idle, or the window would show nothing until something moved.
        if (window) draw(context());
        return;
    }
    CDrawContext* c = context();
    bool drew = false;
    for (std::size_t i = 0; i < views.size(); ++i) {
        CView* view = views[i];
        if (!view->isDirty()) continue;
        view->draw(c);
        view->setDirty(false);
        damage(view->getSize());
        drew = true;
        for (std::size_t j = i + 1; j < views.size(); ++j)
            if (views[j]->floats() && !views[j]->getSize().intersection(view->getSize()).isEmpty())
                views[j]->setDirty(true);
    }
    if (drew && window) window->show();
}

void CFrame::redraw(const CRect& area) {
    const CRect part = area.intersection(size);
    if (firstDraw || part.isEmpty()) return;
    CDrawContext* c = context();
    if (background) background->draw(c, part, CPoint(part.left, part.top));
    for (CView* view : views) {
        if (view->getSize().intersection(part).isEmpty()) continue;
        view->draw(c);
        view->setDirty(false);
        damage(view->getSize());
    }
    damage(part);
    if (window) window->show();
}

CRect CFrame::takeDamage() {
    const CRect rect = damaged.intersection(size);
    damaged = CRect();
    return rect;
}

CPoint CFrame::toPanel(int x, int y) const {
    return CPoint(static_cast<int>(std::floor(x / scale)), static_cast<int>(std::floor(y / scale)));
}

CRect CFrame::toPanel(const CRect& r) const {
    return CRect(static_cast<int>(std::floor(r.left / scale)), static_cast<int>(std::floor(r.top / scale)),
                 static_cast<int>(std::ceil(r.right / scale)), static_cast<int>(std::ceil(r.bottom / scale)));
}

CRect CFrame::present() {
    const CRect panel = takeDamage();
    if (panel.isEmpty()) return panel;
    if (!shown)
        return CRect(panel.left * pictureScale, panel.top * pictureScale, panel.right * pictureScale,
                     panel.bottom * pictureScale);
    // The window pixels the damage covers, and one more on each side that the
    // averaging reaches into.
    const CRect target = CRect(static_cast<int>(std::floor(panel.left * scale)) - 1,
                               static_cast<int>(std::floor(panel.top * scale)) - 1,
                               static_cast<int>(std::ceil(panel.right * scale)) + 1,
                               static_cast<int>(std::ceil(panel.bottom * scale)) + 1)
                             .intersection(shownSize);
    cairo_surface_flush(surface);
    cairo_t* cr = cairo_create(shown);
    cairo_rectangle(cr, target.left, target.top, target.width(), target.height());
    cairo_clip(cr);
    // The source is in panel units through its device scale; GOOD averages the area
    // each window pixel covers when it reduces.
    cairo_scale(cr, static_cast<double>(shownSize.width()) / size.width(),
                static_cast<double>(shownSize.height()) / size.height());
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(shown);
    return target;
}

bool CFrame::writePng(const std::string& path) {
    present();
    cairo_surface_t* pixels = getWindowSurface();
    cairo_surface_flush(pixels);
    return cairo_surface_write_to_png(pixels, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

CView* CFrame::viewAt(const CPoint& where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->getMouseEnabled() && (*it)->getSize().pointInside(where)) return *it;
    return nullptr;
}

bool CFrame::onMouseDown(const CPoint& where, int buttons) {
    cancelDrag();
    // A click anywhere first takes the keyboard focus from the view that has it.
    setEditView(nullptr);
    CView* view = viewAt(where);
    // A right press on the background, not on a control: the editor's scales.
    if (!view) return (buttons & kRButton) && editor && editor->openScaleMenu(where);
    CPoint at = where;
    if (view->mouse(context(), at, buttons)) dragView = view;
    damage(view->getSize());  // a view may draw itself at once
    idle();
    if (window) window->show();
    return true;
}

void CFrame::onMouseMove(const CPoint& where, int buttons) {
    if (!dragView) return;
    CPoint at = where;
    dragView->onMouseMoved(context(), at, buttons);
    idle();
}

void CFrame::onMouseRelease(const CPoint& where, int buttons) {
    CView* view = dragView;
    if (!view) return;
    dragView = nullptr;
    CPoint at = where;
    view->onMouseUp(context(), at, buttons);
    idle();
}

void CFrame::cancelDrag() {
    CView* view = dragView;
    if (!view) return;
    dragView = nullptr;
    view->onMouseCancelled(context());
}

bool CFrame::onWheel(const CPoint& where, float distance, int buttons) {
    CView* view = viewAt(where);
    const bool used = view && view->onWheel(context(), where, distance, buttons);
    idle();
    return used;
}

int CFrame::onKeyDown(VstKeyCode& key) {
    // The focus first, then the views from the last added.
    int used = -1;
    if (editView) used = editView->onKeyDown(key);
    for (auto it = views.rbegin(); used == -1 && it != views.rend(); ++it)
        if (*it != editView) used = (*it)->onKeyDown(key);
    idle();
    return used;
}

int CFrame::onKeyUp(VstKeyCode& key) {
    return editView ? editView->onKeyUp(key) : -1;
}

void CFrame::setEditView(CView* view) {
    if (view == editView) return;
    CView* previous = editView;
    editView = view;
    if (previous) previous->looseFocus(context());
    if (view) view->takeFocus(context());
    if (window) window->focusChanged(view != nullptr);
}

void CFrame::openPopup(COptionMenu* menu) {
    dismissPopup();
    popup = menu;
    if (window && menu) window->openPopup(*menu);
}

void CFrame::choosePopupEntry(int index) {
    COptionMenu* menu = popup;
    dismissPopup();
    if (menu) menu->choose(context(), index);
    idle();
}

void CFrame::dismissPopup() {
    if (!popup) return;
    popup = nullptr;
    if (window) window->closePopup();
}

void CFrame::beginEdit(long tag) {
    if (editor) editor->beginEdit(static_cast<VstInt32>(tag));
}

void CFrame::endEdit(long tag) {
    if (editor) editor->endEdit(static_cast<VstInt32>(tag));
}

int CFrame::getKnobMode() const { return AEffGUIEditor::getKnobMode(); }

}  // namespace orvex::gui
