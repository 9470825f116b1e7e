#pragma once
// What a screen reader should say when something changes on its own, where no focused
// control would tell it: a line of status, a port that went away, a display that shows a
// new text. Nothing shows on the screen.

#include <QString>
#include <QWidget>

namespace ui {

class Announcer : public QWidget {
    Q_OBJECT
public:
    explicit Announcer(QWidget* parent);

    // Said once, also when it is what was said last: a second Send Data has a result too.
    void Say(const QString& text);
};

// A name or description is set only when it changes: each setting is an event for every
// screen reader listening, and a flood of them drowns what matters.
void SetAccessibleName(QWidget* widget, const QString& name);
void SetAccessibleDescription(QWidget* widget, const QString& description);

}  // namespace ui
