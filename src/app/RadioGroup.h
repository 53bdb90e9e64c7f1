// A titled group of radio buttons addressed by item index, like the radio groups of the
// main window: -1 means no item selected. Selecting an item, by a click or from code,
// runs the click handler once; clearing the selection (index -1) does not.
#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QRadioButton;

class RadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, QWidget *parent);

    int itemIndex() const { return index; }
    void setItemIndex(int newIndex);
    int count() const { return int(buttons.size()); }
    QRadioButton *button(int i) const { return buttons.value(i); }
    void setOnClick(std::function<void()> handler) { onClick = std::move(handler); }
    // Gives the focus to the selected item, or to the first when none is selected.
    void focusItem();

signals:
    // The selected item changed (by a click or from code; -1: none).
    void itemIndexChanged(int index);

private:
    void buttonToggled(int id, bool checked);

    QButtonGroup *group;
    QList<QRadioButton *> buttons;
    int index = -1;
    bool updating = false;
    std::function<void()> onClick;
};
