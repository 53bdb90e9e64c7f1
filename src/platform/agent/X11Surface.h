// A character window drawn by the X server: a plain override-redirect X window on the
// character windows' own connection (X11Display), showing frames that the server holds
// as pixmaps (ServerFrames). A frame change is a shape update and a copy from a pixmap,
// a move is one configure request; nothing waits for the server. Without a compositing
// manager the window is cut to the figure's 1-bit outline; with one it has an alpha
// channel, and only its input shape follows the figure.
//
// A shaped window's background is a pixmap of its own size holding the frame shown (its
// canvas): the server paints whatever part of the window comes into view (a shape
// grown with the next frame, a window moved off it) without telling us. Every shape
// change would otherwise send exposes, and wake the game, several times a second. A
// window with true alpha keeps its shape (only its input follows the figure) and its
// compositing manager keeps its pixels: it has no canvas, and hears its rare exposes.
//
// The window listens for button presses (a press on the figure is a click; the toolkit
// window does nothing on motion or release either) and its own structure: the echo of
// each of its moves is dropped, a move by another program is taken over, and a window
// destroyed by another program is made again. Without a canvas (true alpha, or the
// server refused it) it hears its exposes and paints them itself.
#pragma once

#include "FrameCache.h"

#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QString>

#include <xcb/xcb.h>

#include <functional>
#include <memory>

namespace agent::detail {

class ServerFrames;
class X11Display;

class X11Surface
{
public:
    // button: Qt::MouseButton value, modifiers: Qt::KeyboardModifiers value, at: screen.
    using Pressed = std::function<void(int button, int modifiers, QPoint at)>;
    // The window was moved by someone else, to that screen position.
    using Moved = std::function<void(QPoint at)>;

    // A hidden window titled |title|, drawing the frames of |frames| (which must outlive
    // it); nullptr when character windows are toolkit windows here (X11Display), or
    // HOLLYFROST_CHARACTER_WINDOWS is "toolkit".
    static std::unique_ptr<X11Surface> create(const QString &title, const QRect &geometry, bool argb,
                                              QRgb backdrop, FrameCache *frames, Pressed pressed, Moved moved);
    ~X11Surface();
    X11Surface(const X11Surface &) = delete;
    X11Surface &operator=(const X11Surface &) = delete;

    xcb_window_t window() const { return window_; }
    bool visible() const { return visible_; }
    void move(QPoint at);
    void resize(QSize size);
    void setVisible(bool visible);
    void raise();
    // Whether the window hears of its moves (the echo of its own, a move or the end of it
    // by another program). A gliding character moves 15 times a second, and its next step
    // puts it back on its path whoever moved it: it need not hear the echo of each step.
    // A window destroyed meanwhile is still made again (the next move fails).
    void hearMoves(bool on);
    // Shows that picture of the frames at their size (uploading it on its first showing)
    // and returns the figure's shape, window coordinates.
    QRegion showFrame(int picture);
    // The server frames in use (for tests).
    const ServerFrames *serverFrames() const { return frames_.get(); }

    // From the display.
    void handle(const xcb_generic_event_t *event);
    void lost();     // the window is gone: make it again
    void redraw();   // a pixmap failed: draw the frame again
    bool ownsCanvas(xcb_pixmap_t pixmap) const { return pixmap && pixmap == canvas_; }
    void canvasRefused();   // the server could not make the canvas

private:
    X11Surface(X11Display *display, const QString &title, const QRect &geometry, bool argb, QRgb backdrop,
               FrameCache *frames);
    void makeWindow();
    uint32_t eventMask() const;
    ServerFrames &frameSet();
    void applyShape();
    void makeCanvas();
    void dropCanvas();
    void mapAndDraw();
    // Draws the shown frame into the canvas and the window (straight into the window
    // without a canvas).
    void copy();

    QPointer<X11Display> display_;
    xcb_connection_t *connection_;
    QString title_;
    QRect geometry_;
    bool argb_;
    QRgb backdrop_;
    FrameCache *cache_;
    Pressed pressed_;
    Moved moved_;
    xcb_window_t window_ = 0;
    bool visible_ = false;
    bool hearMoves_ = true;
    std::shared_ptr<ServerFrames> frames_;
    int picture_ = -1;
    xcb_pixmap_t canvas_ = 0;       // a shaped window's background, while it is shown
    bool canvasRefused_ = false;    // the server refused one: exposes are ours to paint
    QRect copied_;                  // what the last copy covered (cleared when it shrinks)
    QRegion shaped_;                // the shape set last (the next frame often has the same)
    unsigned int lastConfigure_ = 0;
    int remade_ = 0;
};

} // namespace agent::detail
