#include "WindowRoles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

constexpr char RoleProperty[] = "hollyfrostWindowRole";

// Qt asks the program's factories before its own, for the widget's class and then for
// each base class: a marked window gets its role here, not the one of Qt's interface for a
// QWidget (a "filler" on the bus) or a QMessageBox (an "alert").
QAccessibleInterface *markedWindowInterface(const QString &, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(RoleProperty);
    if (!role.isValid())
        return nullptr;
    const bool dialog = WindowRole(role.toInt()) == WindowRole::Dialog;
    return new QAccessibleWidget(static_cast<QWidget *>(object), dialog ? QAccessible::Dialog : QAccessible::Window);
}

} // namespace

void SetWindowRole(QWidget *window, WindowRole role)
{
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(markedWindowInterface), true);
    window->setProperty(RoleProperty, int(role));
}
