#include "Balloon.h"

#include "DesktopPlacement.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace agent::detail {

namespace {
constexpr int kMaxTextWidth = 220;
constexpr int kPadding = 8;
constexpr int kTail = 12;
}

Balloon::Balloon()
    : QWidget(nullptr, FloatingWindowFlags())
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setWindowTitle(QStringLiteral("Balloon"));
}

void Balloon::showText(const QString &text, const QRect &character)
{
    text_ = text;
    const QFontMetrics metrics(font());
    // Size the balloon for the text so far; it grows as words are added.
    const QRect bounds = metrics.boundingRect(QRect(0, 0, kMaxTextWidth, 10000),
                                              Qt::TextWordWrap, text_.isEmpty() ? QStringLiteral(" ") : text_);
    const QSize body(qMax(bounds.width(), 40) + 2 * kPadding, bounds.height() + 2 * kPadding);
    resize(body.width(), body.height() + kTail);
    place(character);
    textRect_ = QRect(kPadding, (tailDown_ ? 0 : kTail) + kPadding, bounds.width(), bounds.height());
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
    update();
    if (!isVisible())
        show();
}

void Balloon::place(const QRect &character)
{
    QRect area(0, 0, 1 << 15, 1 << 15);
    if (const QScreen *screen = QGuiApplication::screenAt(character.center()))
        area = screen->geometry();
    else if (const QScreen *primary = QGuiApplication::primaryScreen())
        area = primary->geometry();
    int x = character.center().x() - width() / 2;
    int y = character.top() - height();
    const bool below = y < area.top();
    if (below)
        y = character.bottom() + 1;
    x = qBound(area.left(), x, qMax(area.left(), area.right() + 1 - width()));
    // The tail points at the character even when the screen edge pushes the balloon aside.
    const int tailX = qBound(14, character.center().x() - x, qMax(14, width() - 14));
    if (below == tailDown_ || tailX != tailX_) {
        tailDown_ = !below;
        tailX_ = tailX;
        textRect_.moveTop((tailDown_ ? 0 : kTail) + kPadding);
        setMask(QRegion(outline().toFillPolygon().toPolygon()));
        update();
    }
    move(x, y);
}

QPainterPath Balloon::outline() const
{
    const QRectF body(0.5, (tailDown_ ? 0 : kTail) + 0.5, width() - 1, height() - kTail - 1);
    QPainterPath path;
    path.addRoundedRect(body, 8, 8);
    const qreal mid = tailX_;
    QPolygonF tail;
    if (tailDown_)
        tail << QPointF(mid - 6, body.bottom() - 1) << QPointF(mid, height() - 0.5)
             << QPointF(mid + 6, body.bottom() - 1);
    else
        tail << QPointF(mid - 6, body.top() + 1) << QPointF(mid, 0.5) << QPointF(mid + 6, body.top() + 1);
    QPainterPath tailPath;
    tailPath.addPolygon(tail);
    tailPath.closeSubpath();
    return path.united(tailPath);
}

void Balloon::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::black);   // edge pixels of the shape show the outline colour
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(255, 255, 225));
    p.drawPath(outline());
    p.setPen(Qt::black);
    p.drawText(textRect_, Qt::TextWordWrap, text_);
}

} // namespace agent::detail
