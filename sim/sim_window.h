#pragma once
// The window of the virtual display: the display's face, animated while it scrolls or
// flickers, and beside it the port it listens on and a log of what arrived.

#include <QTimer>
#include <QWidget>

#include "sim/display_state.h"

class QLabel;
class QPlainTextEdit;

namespace sim {

class DisplayListener;
class SegmentDisplay;

class SimWindow : public QWidget {
    Q_OBJECT
public:
    // portText names the line for the user: "sim0 (/dev/pts/5)".
    SimWindow(DisplayListener& listener, const QString& portText, QWidget* parent = nullptr);

    SegmentDisplay* Face() const noexcept { return m_face; }
    QPlainTextEdit* Log() const noexcept { return m_log; }
    bool Animating() const noexcept { return m_animation.isActive(); }
    // One animation tick: the scrolling text moves on, a flickering display turns.
    void AdvanceAnimation();

private:
    void OnReceived(const QDateTime& at, const QByteArray& bytes, const QStringList& commands);
    void OnStateChanged();
    void OnLineLost(const QString& why);
    void ShowFrame();

    DisplayListener& m_listener;
    SegmentDisplay* m_face = nullptr;
    QLabel* m_port = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QTimer m_animation;
    DisplayState m_text;  // the state the animation runs on
    unsigned m_tick = 0;  // animation ticks since the text last changed
};

}  // namespace sim
