// The word balloon: a small frameless window beside a character that shows the words
// being spoken, one more word at a time.
#pragma once

#include <QWidget>

namespace agent::detail {

class Balloon : public QWidget
{
public:
    Balloon();
    // Shows the text in a balloon pointing at the character's rectangle (screen pixels).
    void showText(const QString &text, const QRect &character);
    // Follows the character when it moves.
    void place(const QRect &character);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPainterPath outline() const;
    QString text_;
    QRect textRect_;
    bool tailDown_ = true;   // the balloon sits above the character, its tail points down
    int tailX_ = 0;
};

} // namespace agent::detail
