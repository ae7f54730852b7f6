// The X11 binding of the editors, on a connection of the editor's own made with xcb:
// nothing process-wide (Xlib error handlers, thread initialisation) is touched in the
// host's process, and every error belongs to this connection.
#include <cairo.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "controls.h"
#include "platformwindow.h"
#include "scale.h"
#include "view.h"

namespace orvex::gui {

namespace {

// X keysyms the editors use.
constexpr xcb_keysym_t kKeyBackSpace = 0xff08, kKeyTab = 0xff09, kKeyReturn = 0xff0d, kKeyEscape = 0xff1b,
                       kKeyLeft = 0xff51, kKeyUp = 0xff52, kKeyRight = 0xff53, kKeyDown = 0xff54,
                       kKeyKpEnter = 0xff8d, kKeyDelete = 0xffff;
constexpr int kPopupItemHeight = 18;
constexpr auto kDoubleClickTime = std::chrono::milliseconds(400);

int modifiersOf(uint16_t state) {
    int buttons = 0;
    if (state & XCB_MOD_MASK_SHIFT) buttons |= kShift;
    // On Linux the control key plays the part of "command": with a left click it
    // resets a control to its default.
    if (state & XCB_MOD_MASK_CONTROL) buttons |= kCommand;
    if (state & XCB_MOD_MASK_1) buttons |= kOption;
    return buttons;
}

int heldButtonsOf(uint16_t state) {
    int buttons = modifiersOf(state);
    if (state & XCB_BUTTON_MASK_1) buttons |= kLButton;
    if (state & XCB_BUTTON_MASK_2) buttons |= kMButton;
    if (state & XCB_BUTTON_MASK_3) buttons |= kRButton;
    return buttons;
}

class XcbWindow final : public PlatformWindow {
public:
    XcbWindow(xcb_connection_t* connection, const xcb_screen_t* screen, xcb_window_t parent, CFrame& frame)
        : c(connection), screen(*screen), frame(frame), keySymbols(xcb_key_symbols_alloc(connection)) {
        const CRect size = frame.windowSize();
        window = xcb_generate_id(c);
        const uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK;
        const uint32_t values[] = {screen->black_pixel,
                                   XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                       XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                       XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                       XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_FOCUS_CHANGE};
        // The parent's visual: a window of another visual would need a colormap of its
        // own, and GTK hosts give a parent of a visual other than the root's.
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, parent, 0, 0, static_cast<uint16_t>(size.width()),
                          static_cast<uint16_t>(size.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, mask, values);
        // Embedded and mapped, for hosts that follow the embedding protocol.
        const xcb_atom_t embed = atom("_XEMBED_INFO");
        const uint32_t info[] = {0, 1};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, embed, embed, 32, 2, info);
        gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, window, 0, nullptr);
        xcb_map_window(c, window);
        xcb_flush(c);
        maxRequestBytes = static_cast<std::size_t>(xcb_get_maximum_request_length(c)) * 4;
    }

    ~XcbWindow() override {
        closePopup();
        xcb_free_gc(c, gc);
        xcb_destroy_window(c, window);
        xcb_flush(c);
        if (keySymbols) xcb_key_symbols_free(keySymbols);
        xcb_disconnect(c);
    }

    void show() override {
        const CRect rect = frame.present();
        if (!rect.isEmpty()) put(window, frame.getWindowSurface(), rect);
        xcb_flush(c);
    }

    void dispatch() override {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            handle(event);
            std::free(event);
        }
        show();
    }

    void focusChanged(bool focused) override {
        // Typing goes to the text field while it has the focus, then back to the host.
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, focused ? window : static_cast<xcb_window_t>(XCB_INPUT_FOCUS_POINTER_ROOT),
                            XCB_CURRENT_TIME);
        xcb_flush(c);
    }

    void openPopup(COptionMenu& menu) override;
    void closePopup() override;
    unsigned long nativeWindow() const override { return window; }
    bool connected() const override { return xcb_connection_has_error(c) == 0; }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    // Copies `rect` of an RGB24 surface into the window, in strips the server accepts.
    void put(xcb_window_t target, cairo_surface_t* surface, const CRect& rect) {
        if (screen.root_depth != 24 && screen.root_depth != 32) return;  // pixels would not fit
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const int w = rect.width();
        const std::size_t rowBytes = static_cast<std::size_t>(w) * 4;
        const int rowsPerRequest = std::max<int>(1, static_cast<int>((maxRequestBytes - 64) / rowBytes));
        std::vector<unsigned char> strip;
        for (int y = rect.top; y < rect.bottom; y += rowsPerRequest) {
            const int rows = std::min(rowsPerRequest, rect.bottom - y);
            const std::size_t bytes = rowBytes * static_cast<std::size_t>(rows);
            // Whole rows lie one after another in the surface already (the first draw
            // puts the whole panel): sent from where they are, with no copy.
            const unsigned char* from = data + y * stride + rect.left * 4;
            if (rowBytes != static_cast<std::size_t>(stride)) {
                strip.resize(bytes);
                for (int r = 0; r < rows; ++r)
                    std::memcpy(strip.data() + rowBytes * static_cast<std::size_t>(r),
                                data + (y + r) * stride + rect.left * 4, rowBytes);
                from = strip.data();
            }
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, target, gc, static_cast<uint16_t>(w),
                          static_cast<uint16_t>(rows), static_cast<int16_t>(rect.left), static_cast<int16_t>(y), 0,
                          screen.root_depth, static_cast<uint32_t>(bytes), from);
        }
    }

    void handle(xcb_generic_event_t* event) {
        switch (event->response_type & 0x7f) {
            case XCB_EXPOSE: {
                auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
                const CRect area(e->x, e->y, e->x + e->width, e->y + e->height);
                if (e->window == popupWindow)
                    drawPopup();
                else
                    frame.damage(frame.toPanel(area));
                break;
            }
            case XCB_BUTTON_PRESS: {
                auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
                if (popupWindow) {
                    popupPress(e);
                    break;
                }
                // Every position reaches the frame in panel pixels, so that clicks, the
                // wheel and drags behave at every scale as at 1x; a double click is
                // judged where the pointer is on the screen.
                const CPoint where = frame.toPanel(e->event_x, e->event_y);
                const CPoint onScreen(e->event_x, e->event_y);
                if (e->detail >= 4 && e->detail <= 7) {  // wheel: up and right raise
                    const float distance = (e->detail == 4 || e->detail == 7) ? 1.0f : -1.0f;
                    frame.onWheel(where, distance, modifiersOf(e->state));
                    break;
                }
                int buttons = modifiersOf(e->state);
                buttons |= e->detail == 1 ? kLButton : e->detail == 2 ? kMButton : kRButton;
                const auto now = std::chrono::steady_clock::now();
                if (e->detail == 1 && now - lastClick < kDoubleClickTime && std::abs(onScreen.h - lastWhere.h) < 4 &&
                    std::abs(onScreen.v - lastWhere.v) < 4)
                    buttons |= kDoubleClick;
                lastClick = now;
                lastWhere = onScreen;
                frame.onMouseDown(where, buttons);
                break;
            }
            case XCB_BUTTON_RELEASE: {
                auto* e = reinterpret_cast<xcb_button_release_event_t*>(event);
                if (popupWindow) {
                    popupRelease(e);
                    break;
                }
                if (e->detail >= 1 && e->detail <= 3)
                    frame.onMouseRelease(frame.toPanel(e->event_x, e->event_y), modifiersOf(e->state));
                break;
            }
            case XCB_MOTION_NOTIFY: {
                auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(event);
                if (popupWindow) {
                    popupHover(e->root_x, e->root_y);
                    break;
                }
                // A knob's drag counts panel pixels too: the pointer travels the same
                // distance relative to the knob as drawn for the same change at every
                // scale, as the hand expects of a larger knob.
                frame.onMouseMove(frame.toPanel(e->event_x, e->event_y), heldButtonsOf(e->state));
                break;
            }
            case XCB_LEAVE_NOTIFY: {
                auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(event);
                // The pointer left with no button held, or someone else took the
                // pointer: a drag in progress ends here.
                if (e->mode != XCB_NOTIFY_MODE_NORMAL || !(heldButtonsOf(e->state) & (kLButton | kMButton | kRButton)))
                    frame.cancelDrag();
                break;
            }
            case XCB_KEY_PRESS: {
                auto* e = reinterpret_cast<xcb_key_press_event_t*>(event);
                VstKeyCode key{0, 0, 0};
                if (e->state & XCB_MOD_MASK_SHIFT) key.modifier |= MODIFIER_SHIFT;
                if (e->state & XCB_MOD_MASK_CONTROL) key.modifier |= MODIFIER_CONTROL;
                if (e->state & XCB_MOD_MASK_1) key.modifier |= MODIFIER_ALTERNATE;
                const xcb_keysym_t symbol =
                    keySymbols ? xcb_key_symbols_get_keysym(keySymbols, e->detail, (e->state & XCB_MOD_MASK_SHIFT) ? 1 : 0)
                               : 0;
                switch (symbol) {
                    case kKeyBackSpace: key.virt = VKEY_BACK; break;
                    case kKeyTab: key.virt = VKEY_TAB; break;
                    case kKeyReturn: key.virt = VKEY_RETURN; break;
                    case kKeyKpEnter: key.virt = VKEY_ENTER; break;
                    case kKeyEscape: key.virt = VKEY_ESCAPE; break;
                    case kKeyLeft: key.virt = VKEY_LEFT; break;
                    case kKeyUp: key.virt = VKEY_UP; break;
                    case kKeyRight: key.virt = VKEY_RIGHT; break;
                    case kKeyDown: key.virt = VKEY_DOWN; break;
                    case kKeyDelete: key.virt = VKEY_DELETE; break;
                    default:
                        if (symbol >= 0x20 && symbol < 0x7f) key.character = static_cast<VstInt32>(symbol);
                        break;
                }
                if (key.virt || key.character) frame.onKeyDown(key);
                break;
            }
            default:
                break;
        }
    }

    // The pop-up list -----------------------------------------------------------------

    void drawPopup() {
        if (!popupWindow || !popupMenu || !popupSurface) return;
        {
            CDrawContext context(popupSurface, drawingScale(frame.getScale()));
            COptionMenuScheme fallback;
            const COptionMenuScheme& scheme = popupMenu->getScheme() ? *popupMenu->getScheme() : fallback;
            const bool checks = (popupMenu->getStyle() & kCheckStyle) != 0;
            for (int i = 0; i < popupMenu->getNbEntries(); ++i) {
                const CRect item(0, i * kPopupItemHeight, popupWidth, (i + 1) * kPopupItemHeight);
                scheme.drawItem(&context, item, popupMenu->entry(i), i == hovered,
                                checks && i == popupMenu->getCurrent());
            }
        }
        put(popupWindow, popupSurface, CRect(0, 0, shownWidth, shownHeight));
        xcb_flush(c);
    }

    int itemAt(int rootX, int rootY) const {
        const int x = rootX - popupX, y = rootY - popupY;
        if (x < 0 || x >= shownWidth || y < 0 || y >= shownHeight) return -1;
        return std::min(static_cast<int>(y / (kPopupItemHeight * frame.getScale())), popupMenu->getNbEntries() - 1);
    }

    void popupHover(int rootX, int rootY) {
        const int item = itemAt(rootX, rootY);
        if (item == hovered) return;
        hovered = item;
        drawPopup();
    }

    void popupPress(const xcb_button_press_event_t* e) {
        // A press outside the list dismisses it; inside, the release chooses.
        if (itemAt(e->root_x, e->root_y) < 0) frame.dismissPopup();
    }

    void popupRelease(const xcb_button_release_event_t* e) {
        const int item = itemAt(e->root_x, e->root_y);
        if (item < 0) {
            // The release of the click that opened the list, outside it: keep it open.
            return;
        }
        frame.choosePopupEntry(item);
    }

    xcb_connection_t* c;
    xcb_screen_t screen;
    CFrame& frame;
    xcb_key_symbols_t* keySymbols;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    std::size_t maxRequestBytes = 262144;
    std::chrono::steady_clock::time_point lastClick{};
    CPoint lastWhere;

    xcb_window_t popupWindow = 0;
    COptionMenu* popupMenu = nullptr;
    cairo_surface_t* popupSurface = nullptr;
    // The list's size in panel pixels, and on the screen at the frame's scale.
    int popupX = 0, popupY = 0, popupWidth = 0, popupHeight = 0, shownWidth = 0, shownHeight = 0, hovered = -1;
};

void XcbWindow::openPopup(COptionMenu& menu) {
    closePopup();
    if (menu.getNbEntries() == 0) return;
    popupMenu = &menu;
    const CRect& size = menu.getSize();
    // As wide as the menu or its longest entry, one row per entry.
    {
        cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        CDrawContext context(probe);
        context.setFont(menu.getScheme() ? menu.getScheme()->font : kNormalFontSmall);
        popupWidth = size.width();
        for (int i = 0; i < menu.getNbEntries(); ++i)
            popupWidth = std::max(popupWidth, context.getStringWidth(menu.entry(i)) + 24);
        cairo_surface_destroy(probe);
    }
    popupHeight = menu.getNbEntries() * kPopupItemHeight;
    // The list is drawn at the frame's scale, as sharp as the panel.
    const double scale = frame.getScale();
    shownWidth = static_cast<int>(std::lround(popupWidth * scale));
    shownHeight = static_cast<int>(std::lround(popupHeight * scale));
    // Below the control in root coordinates, moved up (or left) to stay on screen.
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, screen.root, static_cast<int16_t>(std::lround(size.left * scale)),
                                     static_cast<int16_t>(std::lround(size.bottom * scale))),
        nullptr);
    popupX = at ? at->dst_x : 0;
    popupY = at ? at->dst_y : 0;
    std::free(at);
    if (popupY + shownHeight > screen.height_in_pixels)
        popupY = std::max(0, popupY - static_cast<int>(std::lround(size.height() * scale)) - shownHeight);
    if (popupX + shownWidth > screen.width_in_pixels) popupX = std::max(0, screen.width_in_pixels - shownWidth);

    popupWindow = xcb_generate_id(c);
    const uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    const uint32_t values[] = {screen.white_pixel, 1,
                               XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                   XCB_EVENT_MASK_POINTER_MOTION};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, popupWindow, screen.root, static_cast<int16_t>(popupX),
                      static_cast<int16_t>(popupY), static_cast<uint16_t>(shownWidth),
                      static_cast<uint16_t>(shownHeight), 1, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen.root_visual,
                      mask, values);
    popupSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, shownWidth, shownHeight);
    cairo_surface_set_device_scale(popupSurface, scale, scale);
    xcb_map_window(c, popupWindow);
    // Every click comes to the list while it is open, so one outside closes it.
    xcb_grab_pointer(c, 0, popupWindow,
                     XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION,
                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
    hovered = -1;
    xcb_flush(c);
}

void XcbWindow::closePopup() {
    if (!popupWindow) return;
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_destroy_window(c, popupWindow);
    popupWindow = 0;
    popupMenu = nullptr;
    if (popupSurface) cairo_surface_destroy(popupSurface);
    popupSurface = nullptr;
    xcb_flush(c);
}

}  // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::create(void* parent, CFrame& frame) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const auto parentId = static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(parent));
    return std::make_unique<XcbWindow>(connection, it.data, parentId, frame);
}

}  // namespace orvex::gui
