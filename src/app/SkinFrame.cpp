#include "SkinFrame.h"

#include "JpegCodec.h"
#include "Utilities.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <QtEndian>

namespace {

constexpr int HeaderSize = 32;
constexpr int RectSize = 16;
constexpr quint32 RectangleType = 1;

qint32 int32At(const char *data)
{
    return qFromLittleEndian<qint32>(data);
}

void appendInt32(QByteArray &out, qint32 value)
{
    char bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    out.append(bytes, 4);
}

} // namespace

QRegion RegionFromMask2(const QByteArray &mask2, bool *ok)
{
    if (ok)
        *ok = false;
    if (mask2.size() < 4)
        return QRegion();
    const qint64 length = qFromLittleEndian<quint32>(mask2.constData());
    if (length == 0) {
        if (ok)
            *ok = true;
        return QRegion();
    }
    if (length < HeaderSize || length > mask2.size() - 4)
        return QRegion();
    const char *data = mask2.constData() + 4;
    const qint64 headerSize = qFromLittleEndian<quint32>(data);
    const quint32 type = qFromLittleEndian<quint32>(data + 4);
    const qint64 count = qFromLittleEndian<quint32>(data + 8);
    if (headerSize != HeaderSize || type != RectangleType || count * RectSize > length - HeaderSize)
        return QRegion();
    QRegion region;
    for (qint64 i = 0; i < count; ++i) {
        const char *rect = data + HeaderSize + i * RectSize;
        const qint32 left = int32At(rect), top = int32At(rect + 4);
        const qint32 right = int32At(rect + 8), bottom = int32At(rect + 12);
        // Rectangles are exclusive of their right and bottom edges; empty or inverted
        // ones add nothing, and absurd coordinates are treated as garbled data.
        if (right <= left || bottom <= top)
            continue;
        constexpr qint32 limit = 1 << 20;
        if (left < -limit || top < -limit || right > limit || bottom > limit)
            return QRegion();
        region += QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }
    if (ok)
        *ok = true;
    return region;
}

QByteArray Mask2FromRegion(const QRegion &region)
{
    QByteArray data;
    if (region.isEmpty()) {
        appendInt32(data, 0);
        return data;
    }
    const QRect bound = region.boundingRect();
    const int count = int(region.end() - region.begin());
    appendInt32(data, HeaderSize + count * RectSize);
    appendInt32(data, HeaderSize);
    appendInt32(data, RectangleType);
    appendInt32(data, count);
    appendInt32(data, count * RectSize);
    auto appendRect = [&data](const QRect &rect) {
        for (qint32 value : {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1})
            appendInt32(data, value);
    };
    appendRect(bound);
    for (const QRect &rect : region)
        appendRect(rect);
    return data;
}

SkinFrame::SkinFrame(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CoolForm1"));
    // The picture covers every pixel: nothing needs erasing first, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_mask2 = Mask2FromRegion(QRegion());
    attachToParent();
}

void SkinFrame::attachToParent()
{
    QWidget *owner = parentWidget();
    if (m_owner && m_owner != owner)
        m_owner->removeEventFilter(this);
    m_owner = owner;
    if (!owner)
        return;
    if (owner->isWindow() && !owner->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        const bool wasVisible = owner->isVisible();
        owner->setWindowFlag(Qt::FramelessWindowHint, true);
        if (wasVisible)
            owner->show();
    }
    owner->removeEventFilter(this);
    owner->installEventFilter(this);
    setGeometry(0, 0, owner->width(), owner->height());
    lower();
}

bool SkinFrame::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange)
        attachToParent();
    return QWidget::event(event);
}

bool SkinFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        resize(parentWidget()->size());
    return QWidget::eventFilter(watched, event);
}

bool SkinFrame::LoadSkin(const QString &path)
{
    const QString extension = ExtensionOfPath(path).toUpper();
    const QString native = NativePath(path);
    QImage loaded;
    bool known = true;
    if (extension == QLatin1String("JPG")) {
        loaded = DecodeJpegFile(native);
    } else if (extension == QLatin1String("GIF")) {
        QImageReader reader(native, "gif");
        loaded = reader.read();
    } else if (extension == QLatin1String("BMP")) {
        QImageReader reader(native, "bmp");
        loaded = reader.read();
    } else {
        known = false;
    }
    // The shape region object goes after every attempt; the window keeps its shape.
    m_mask = QRegion();
    if (!known || loaded.isNull())
        return false;
    SetPicture(loaded);
    return true;
}

void SkinFrame::SetPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void SkinFrame::SetMask(const QRegion &region)
{
    m_mask = region;
    m_mask2 = Mask2FromRegion(region);
    applyShape();
}

void SkinFrame::SetMask2(const QByteArray &data)
{
    bool ok = false;
    const QRegion region = RegionFromMask2(data, &ok);
    if (!ok)
        return;
    m_mask2 = data.left(4 + qFromLittleEndian<quint32>(data.constData()));
    m_mask = region;
    applyShape();
}

void SkinFrame::applyShape()
{
    QWidget *owner = parentWidget() ? parentWidget() : this;
    if (m_mask.isEmpty())
        owner->clearMask();
    else
        owner->setMask(m_mask);
}

void SkinFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        const QWidget *owner = parentWidget() ? parentWidget() : this;
        painter.fillRect(rect(), owner->palette().color(QPalette::Window));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
}

void SkinFrame::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_draggable) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWidget *owner = window();
    QWindow *handle = owner->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    // The window system would not run the move itself: follow the mouse by hand.
    m_manualDrag = true;
    m_dragOffset = event->globalPosition().toPoint() - owner->pos();
}

void SkinFrame::mouseMoveEvent(QMouseEvent *event)
{
    if (m_manualDrag && (event->buttons() & Qt::LeftButton)) {
        window()->move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void SkinFrame::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_manualDrag = false;
    QWidget::mouseReleaseEvent(event);
}
