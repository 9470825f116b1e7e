#pragma once
// What a screen reader is told: the accessibility events the widgets send, as the
// platform's bridge to the screen reader receives them.

#include <QAccessible>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace harness {

class HeardLog {
public:
    // Tells Qt that a screen reader listens, as the platform's bridge does when one is
    // there; true while the log lives, since the widgets send no event otherwise.
    HeardLog()
    {
        if (QPlatformAccessibility* bridge = QGuiApplicationPrivate::platformIntegration()->accessibility())
            bridge->setActive(true);
        s_log = this;
        m_before = QAccessible::installUpdateHandler(&Receive);
    }
    ~HeardLog()
    {
        QAccessible::installUpdateHandler(m_before);
        if (QPlatformAccessibility* bridge = QGuiApplicationPrivate::platformIntegration()->accessibility())
            bridge->setActive(false);
        s_log = nullptr;
    }
    HeardLog(const HeardLog&) = delete;
    HeardLog& operator=(const HeardLog&) = delete;

    void Clear()
    {
        said.clear();
        renamed.clear();
    }

    QStringList said;       // what came into sight as a notification, in order
    QSet<QString> renamed;  // the other objects whose name or description changed

private:
    static void Receive(QAccessibleEvent* event)
    {
        QAccessibleInterface* face = event->accessibleInterface();
        if (!s_log || !face)
            return;
        if (face->role() == QAccessible::Notification) {
            if (event->type() == QAccessible::ObjectShow)
                s_log->said << face->text(QAccessible::Name);
        } else if (event->type() == QAccessible::NameChanged || event->type() == QAccessible::DescriptionChanged)
            s_log->renamed << event->object()->objectName();
    }

    inline static HeardLog* s_log = nullptr;
    QAccessible::UpdateHandler m_before = nullptr;
};

}  // namespace harness
