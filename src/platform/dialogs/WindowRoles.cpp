#include "WindowRoles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

constexpr char RoleProperty[] = "hollyfrostWindowRole";

// Qt asks the program's factories before its own, for the widget's class and then for
// each base class: a marked window gets its role here, not Qt's interface for a QWidget
// (role "client") or a QMessageBox (role "alert").
QAccessibleInterface *markedWindowInterface(const QString &, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(RoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), WindowRole(role.toInt()) == WindowRole::Dialog
                                                                     ? QAccessible::Dialog
                                                                     : QAccessible::Window);
}

} // namespace

void SetWindowRole(QWidget *window, WindowRole role)
{
    static const bool installed = (QAccessible::installFactory(markedWindowInterface), true);
    Q_UNUSED(installed);
    window->setProperty(RoleProperty, int(role));
}
