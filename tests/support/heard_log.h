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
    // Qt sends no event until told that a screen reader listens, as the platform's bridge
    // tells it when one is there; so told while the log lives.
    HeardLog() : m_before(QAccessible::installUpdateHandler(&Receive)) { Listen(this); }
    ~HeardLog()
    {
        QAccessible::installUpdateHandler(m_before);
        Listen(nullptr);
    }
    HeardLog(const HeardLog&) = delete;
    HeardLog& operator=(const HeardLog&) = delete;

    void Clear() { said.clear(), renamed.clear(); }

    QStringList said;       // what came into sight as a notification, in order
    QSet<QString> renamed;  // the other objects whose name or description changed

private:
    static void Listen(HeardLog* log)
    {
        s_log = log;
        if (QPlatformAccessibility* bridge = QGuiApplicationPrivate::platformIntegration()->accessibility())
            bridge->setActive(log != nullptr);
    }
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
