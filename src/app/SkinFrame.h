// The skin control: a picture that forms the whole face of a borderless window. Placed
// on a window it takes away the border and caption, fills the client area with its
// stretched picture, lets the user drag the window by it, and can give the window a
// non-rectangular shape.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>

// Region data as the window definitions store it in Mask2: a 4-byte little-endian
// length, then that many bytes of region data (a 32-byte header: size 32, type 1,
// rectangle count, data size, bounds; then the rectangles as left, top, right, bottom,
// each a little-endian 32-bit integer). *ok is false for data that is short, garbled or
// of an unknown kind; a length of 0 is a valid empty region (a rectangular window).
QRegion RegionFromMask2(const QByteArray &mask2, bool *ok = nullptr);
// The reverse, for window definitions written by the program and for tests.
QByteArray Mask2FromRegion(const QRegion &region);

class SkinFrame : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Draggable READ Draggable WRITE SetDraggable)
    Q_PROPERTY(QRegion Mask READ Mask WRITE SetMask)
    Q_PROPERTY(QByteArray Mask2 READ Mask2 WRITE SetMask2)
public:
    explicit SkinFrame(QWidget *parent = nullptr);

    // Loads a picture by its extension, in any letter case: JPG, GIF or BMP. Any other
    // extension loads nothing. False (the previous picture stays) when nothing loaded.
    bool LoadSkin(const QString &path);

    QImage Picture() const { return m_picture; }
    void SetPicture(const QImage &picture);

    bool Draggable() const { return m_draggable; }
    void SetDraggable(bool on) { m_draggable = on; }

    // The shape region; a non-empty region becomes the parent window's shape at once.
    QRegion Mask() const { return m_mask; }
    void SetMask(const QRegion &region);
    // Stored form of the shape. Data that cannot be read is ignored.
    QByteArray Mask2() const { return m_mask2; }
    void SetMask2(const QByteArray &data);

    // True while a drag that the window system refused to run is moved by hand.
    bool ManualDragActive() const { return m_manualDrag; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attachToParent();
    void applyShape();

    QPointer<QWidget> m_owner;   // the window whose face this is
    QImage m_picture;
    QRegion m_mask;
    QByteArray m_mask2;
    bool m_draggable = true;
    bool m_manualDrag = false;
    QPoint m_dragOffset;
};
