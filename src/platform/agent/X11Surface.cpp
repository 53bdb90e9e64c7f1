#include "X11Surface.h"

#include "ServerFrames.h"
#include "X11Display.h"

#include <QtGlobal>

#include <utility>

#include <xcb/shape.h>

namespace agent::detail {

namespace {

constexpr int kMaxRemakes = 8;   // a window destroyed again and again is given up

// True when the event came after (or with) the request of that number.
bool since(const xcb_generic_event_t *event, unsigned int request)
{
    return int32_t(event->full_sequence - uint32_t(request)) >= 0;
}

int qtButton(uint8_t button)
{
    switch (button) {
    case 1: return Qt::LeftButton;
    case 2: return Qt::MiddleButton;
    case 3: return Qt::RightButton;
    case 8: return Qt::BackButton;
    case 9: return Qt::ForwardButton;
    default: return 0;   // 4 to 7 turn the wheel, which is no click
    }
}

int qtModifiers(uint16_t state)
{
    int modifiers = 0;
    if (state & XCB_MOD_MASK_SHIFT)
        modifiers |= Qt::ShiftModifier;
    if (state & XCB_MOD_MASK_CONTROL)
        modifiers |= Qt::ControlModifier;
    if (state & XCB_MOD_MASK_1)
        modifiers |= Qt::AltModifier;
    if (state & XCB_MOD_MASK_4)
        modifiers |= Qt::MetaModifier;
    return modifiers;
}

} // namespace

std::unique_ptr<X11Surface> X11Surface::create(const QString &title, const QRect &geometry, bool argb,
                                               QRgb backdrop, FrameCache *frames, Pressed pressed, Moved moved)
{
    if (qEnvironmentVariable("HOLLYFROST_CHARACTER_WINDOWS") == QLatin1String("toolkit"))
        return nullptr;
    X11Display *display = X11Display::instance();
    if (!display || (argb && !display->argbVisual()))
        return nullptr;
    std::unique_ptr<X11Surface> surface(new X11Surface(display, title, geometry, argb, backdrop, frames));
    surface->pressed_ = std::move(pressed);
    surface->moved_ = std::move(moved);
    return surface;
}

X11Surface::X11Surface(X11Display *display, const QString &title, const QRect &geometry, bool argb,
                       QRgb backdrop, FrameCache *frames)
    : display_(display), connection_(display->connection()), title_(title), geometry_(geometry), argb_(argb),
      backdrop_(backdrop), cache_(frames)
{
    makeWindow();
    display->flush();
}

X11Surface::~X11Surface()
{
    frames_.reset();
    if (!display_)
        return;
    display_->removeSurface(window_);
    xcb_destroy_window(connection_, window_);
    display_->freePixmap(canvas_);
    display_->flush();
}

void X11Surface::makeWindow()
{
    window_ = xcb_generate_id(connection_);
    const uint32_t events = eventMask();
    if (argb_) {
        // Its own visual needs its own colour map and border; the background is clear.
        const uint32_t values[] = {0, 0, 1, events, display_->argbColormap()};
        xcb_create_window(connection_, 32, window_, display_->root(), int16_t(geometry_.x()), int16_t(geometry_.y()),
                          uint16_t(geometry_.width()), uint16_t(geometry_.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, display_->argbVisual(),
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK
                              | XCB_CW_COLORMAP,
                          values);
    } else {
        // The canvas, while there is one; without, nothing: the copies paint the window.
        const uint32_t values[] = {canvas_ ? canvas_ : uint32_t(XCB_BACK_PIXMAP_NONE), 1, events};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, display_->root(), int16_t(geometry_.x()),
                          int16_t(geometry_.y()), uint16_t(geometry_.width()), uint16_t(geometry_.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    }
    // Window managers, tools and tests find the character by its identity.
    const QByteArray latin1 = title_.toLatin1(), utf8 = title_.toUtf8();
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(latin1.size()), latin1.constData());
    if (display_->netWmName() && display_->utf8String())
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, display_->netWmName(),
                            display_->utf8String(), 8, uint32_t(utf8.size()), utf8.constData());
    display_->addSurface(window_, this);
    copied_ = QRect();
    shaped_ = QRegion();
    if (picture_ >= 0)
        applyShape();
    if (visible_)
        mapAndDraw();
}

void X11Surface::mapAndDraw()
{
    // Into the canvas first, from which the server paints the window as it maps it;
    // without one, straight into the mapped window.
    if (canvas_)
        copy();
    xcb_map_window(connection_, window_);
    if (!canvas_)
        copy();
}

void X11Surface::makeCanvas()
{
    if (canvas_ || canvasRefused_ || argb_)
        return;
    canvas_ = display_->makePixmap(24, geometry_.size());
    const xcb_rectangle_t all{0, 0, uint16_t(geometry_.width()), uint16_t(geometry_.height())};
    xcb_poly_fill_rectangle(connection_, canvas_, display_->gc(24), 1, &all);
    const uint32_t background[] = {canvas_};
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXMAP, background);
}

void X11Surface::dropCanvas()
{
    if (!canvas_)
        return;
    const uint32_t none[] = {XCB_BACK_PIXMAP_NONE};
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXMAP, none);
    display_->freePixmap(std::exchange(canvas_, 0));
}

void X11Surface::canvasRefused()
{
    // The frames are copied straight into the window, which hears its exposes again.
    canvasRefused_ = true;
    canvas_ = 0;   // never made: nothing to free
    const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, eventMask()};
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK, values);
    if (visible_)
        copy();
}

uint32_t X11Surface::eventMask() const
{
    return XCB_EVENT_MASK_BUTTON_PRESS | (argb_ || canvasRefused_ ? XCB_EVENT_MASK_EXPOSURE : 0)
           | (hearMoves_ ? XCB_EVENT_MASK_STRUCTURE_NOTIFY : 0);
}

void X11Surface::hearMoves(bool on)
{
    if (on == hearMoves_ || !display_)
        return;
    hearMoves_ = on;
    const uint32_t events[] = {eventMask()};
    xcb_change_window_attributes(connection_, window_, XCB_CW_EVENT_MASK, events);
    display_->flush();
}

void X11Surface::move(QPoint at)
{
    if (at == geometry_.topLeft() || !display_)
        return;
    geometry_.moveTopLeft(at);
    const uint32_t values[] = {uint32_t(at.x()), uint32_t(at.y())};
    lastConfigure_ = xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values).sequence;
    display_->flush();
}

void X11Surface::resize(QSize size)
{
    if (size == geometry_.size() || !display_)
        return;
    geometry_.setSize(size);
    const uint32_t values[] = {uint32_t(size.width()), uint32_t(size.height())};
    lastConfigure_ = xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                          values).sequence;
    if (canvas_) {   // a canvas of the new size; the next frame is drawn into it
        dropCanvas();
        makeCanvas();
    }
    display_->flush();
}

void X11Surface::setVisible(bool visible)
{
    if (visible == visible_ || !display_)
        return;
    visible_ = visible;
    if (visible) {
        // Mapped on top, as a newly shown window is; the shape is set already.
        const uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, above);
        makeCanvas();
        copied_ = QRect();
        mapAndDraw();
    } else {
        xcb_unmap_window(connection_, window_);
        frames_.reset();   // a hidden character holds no pixmaps of its own
        dropCanvas();
    }
    display_->flush();
}

void X11Surface::raise()
{
    if (!display_)
        return;
    const uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, above);
    display_->flush();
}

QRegion X11Surface::showFrame(int picture)
{
    if (!display_)
        return QRegion();
    picture_ = picture;
    const QRegion shape = frameSet().frame(*cache_, picture_).shape;
    // The canvas first: what a grown shape uncovers is painted from it.
    if (visible_)
        copy();
    applyShape();
    display_->flush();
    return shape;
}

ServerFrames &X11Surface::frameSet()
{
    // The set changes with the frames' size; a hidden character let its set go.
    if (!frames_ || !frames_->matches(cache_->store().get(), cache_->size(), argb_, backdrop_))
        frames_ = display_->frames(cache_->store(), cache_->size(), argb_, backdrop_);
    return *frames_;
}

void X11Surface::applyShape()
{
    const ServerFrames::Frame &frame = frameSet().frame(*cache_, picture_);
    if (frame.shape == shaped_)
        return;   // each shape change makes the server work out every window below again
    shaped_ = frame.shape;
    // With true alpha the whole window is drawn and only clicks follow the figure.
    const uint8_t kind = argb_ ? XCB_SHAPE_SK_INPUT : XCB_SHAPE_SK_BOUNDING;
    if (display_->pixmapFailed(frame.mask))
        display_->shapeRectangles(window_, kind, frame.shape);
    else
        xcb_shape_mask(connection_, XCB_SHAPE_SO_SET, kind, window_, int16_t(frame.maskArea.x()),
                       int16_t(frame.maskArea.y()), frame.mask);
}

void X11Surface::copy()
{
    if (picture_ < 0)
        return;
    const ServerFrames::Frame &frame = frameSet().frame(*cache_, picture_);
    const int depth = frames_->depth();
    const xcb_drawable_t target = canvas_ ? canvas_ : window_;
    if (argb_) {
        // What the last frame covered and this one does not becomes clear again.
        for (const QRect &r : QRegion(copied_) - frame.area)
            xcb_clear_area(connection_, 0, window_, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                           uint16_t(r.height()));
    }
    copied_ = frame.area;
    if (display_->pixmapFailed(frame.pixmap)) {
        // The server could not hold this frame: send its pixels each time instead.
        display_->putImage(target, depth, frames_->pixels(*cache_, picture_), frame.area.topLeft());
    } else {
        xcb_copy_area(connection_, frame.pixmap, target, display_->gc(depth), 0, 0, int16_t(frame.area.x()),
                      int16_t(frame.area.y()), uint16_t(frame.area.width()), uint16_t(frame.area.height()));
    }
    if (!canvas_)
        return;
    // Set again, so that the background is the canvas as drawn now (a server may keep a
    // copy of a background pixmap), and painted where the frame is (the rest of the
    // window lies outside the figure's shape).
    const uint32_t background[] = {canvas_};
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXMAP, background);
    xcb_clear_area(connection_, 0, window_, int16_t(frame.area.x()), int16_t(frame.area.y()),
                   uint16_t(frame.area.width()), uint16_t(frame.area.height()));
}

void X11Surface::handle(const xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_EXPOSE:
        // Heard only without a canvas (true alpha, or the server refused it): the whole
        // frame again, once the last of a series came.
        if (visible_ && reinterpret_cast<const xcb_expose_event_t *>(event)->count == 0) {
            copy();
            display_->flush();
        }
        return;
    case XCB_BUTTON_PRESS: {
        const auto *press = reinterpret_cast<const xcb_button_press_event_t *>(event);
        if (const int button = qtButton(press->detail); button && pressed_)
            pressed_(button, qtModifiers(press->state), QPoint(press->root_x, press->root_y));
        return;
    }
    case XCB_CONFIGURE_NOTIFY: {
        // The echo of our own move (or of anything before it) tells nothing new.
        const auto *configure = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
        const QPoint at(configure->x, configure->y);
        if (!since(event, lastConfigure_) || at == geometry_.topLeft())
            return;
        geometry_.moveTopLeft(at);
        if (moved_)
            moved_(at);
        return;
    }
    case XCB_DESTROY_NOTIFY:
        lost();
        return;
    }
}

void X11Surface::lost()
{
    if (!display_)
        return;
    display_->removeSurface(window_);
    if (++remade_ > kMaxRemakes) {
        qWarning("The character window \"%s\" was destroyed too often; it is not made again", qPrintable(title_));
        window_ = 0;
        display_.clear();
        return;
    }
    makeWindow();
    display_->flush();
}

void X11Surface::redraw()
{
    if (!display_ || picture_ < 0)
        return;
    shaped_ = QRegion();   // the mask that set it may be the pixmap refused
    applyShape();
    if (visible_)
        copy();
}

} // namespace agent::detail
