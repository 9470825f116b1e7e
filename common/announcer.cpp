#include "common/announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace ui {
namespace {

// The desktop's screen reader (Orca on the AT-SPI bus) speaks an object of the
// notification role when it comes into sight; a status line's new text it speaks only
// while the line has the focus.
QAccessibleInterface* AnnouncerInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String(Announcer::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
    return nullptr;
}

}  // namespace

Announcer::Announcer(QWidget* parent) : QWidget(parent)
{
    static const bool installed = (QAccessible::installFactory(&AnnouncerInterface), true);
    Q_UNUSED(installed);
    setObjectName(QStringLiteral("announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);  // in the window, but nothing of it shows
}

void Announcer::Say(const QString& text)
{
    if (text.isEmpty())
        return;
    SetAccessibleName(this, text);
    // As it would come into sight anew, also when the window does not show yet.
    QAccessibleEvent event(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

void SetAccessibleName(QWidget* widget, const QString& name)
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
}

void SetAccessibleDescription(QWidget* widget, const QString& description)
{
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

}  // namespace ui
