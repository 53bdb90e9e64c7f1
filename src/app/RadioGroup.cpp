#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent), group(new QButtonGroup(this))
{
    setAccessibleName(caption);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);   // the items' captions get the room
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto *radio = new QRadioButton(items[i], this);
        radio->setAccessibleName(items[i]);
        group->addButton(radio, i);
        layout->addWidget(radio);
        buttons.append(radio);
    }
    connect(group, &QButtonGroup::idToggled, this, &RadioGroup::buttonToggled);
}

void RadioGroup::buttonToggled(int id, bool checked)
{
    if (!checked || updating)
        return;
    index = id;
    emit itemIndexChanged(id);   // before the handler, which may read what it feeds
    if (onClick)
        onClick();
}

void RadioGroup::setItemIndex(int newIndex)
{
    if (newIndex < -1 || newIndex >= count())
        newIndex = -1;
    if (newIndex == index)
        return;
    if (newIndex < 0) {
        updating = true;
        group->setExclusive(false);
        for (QRadioButton *radio : buttons)
            radio->setChecked(false);
        group->setExclusive(true);
        updating = false;
        index = -1;
        emit itemIndexChanged(-1);
        return;
    }
    buttons[newIndex]->setChecked(true);   // runs buttonToggled, which runs the handler
}

void RadioGroup::focusItem()
{
    if (buttons.isEmpty())
        return;
    buttons.value(index, buttons.first())->setFocus(Qt::OtherFocusReason);
}
