#include "accessibility.h"

#include "form1.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

QAccessibleInterface* accessibleWithRole(const QString& className, QObject* object)
{
    // The factory is asked with the class names of the object, most derived first: these two
    // names come before QWidget's, whose generic answer would be a filler.
    if (className == QLatin1String(Form1::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window); // a frame
    }
    if (className == QLatin1String(Announcer::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
    }
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    QAccessible::installFactory(&accessibleWithRole); // a factory already installed is kept once
}

Announcer::Announcer(QWidget* parent)
    : QWidget(parent)
{
    setGeometry(0, 0, 0, 0);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Announcer::announce(const QString& text)
{
    // A changed name alone is not spoken; a notification that shows is, with its name.
    setAccessibleName(text);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}
