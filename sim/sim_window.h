#pragma once
// The window of the virtual display: the display's face, animated while it scrolls or
// flickers, and beside it the port it listens on, the line settings of its sender and a
// log of what arrived.

#include <QTimer>
#include <QWidget>

#include "sim/display_state.h"
#include "sim/line_settings.h"
#include "sim/sim_texts.h"

class QLabel;
class QTextEdit;

namespace ui {
class Announcer;
}

namespace sim {

class DisplayListener;
class SegmentDisplay;
struct ReceivedPiece;

class SimWindow : public QWidget {
    Q_OBJECT
public:
    // The log keeps this many lines; older ones go, so a long run or a flood never fills
    // the memory.
    static constexpr int kLogLines = 3000;
    // Of a larger piece the log shows the first bytes.
    static constexpr qsizetype kLogBytes = 256;

    // portText names the line for the user: "sim0 (/dev/pts/5)". The window speaks lang.
    SimWindow(DisplayListener& listener, const QString& portText, Language lang = Language::English,
              QWidget* parent = nullptr);

    SegmentDisplay* Face() const noexcept { return m_face; }
    QTextEdit* Log() const noexcept { return m_log; }
    bool Animating() const noexcept { return m_animation.isActive(); }
    // One animation tick: the scrolling text moves on, a flickering display turns.
    void AdvanceAnimation();
    // How many lines the log keeps (kLogLines unless a test wants fewer).
    void SetLogLines(int lines);
    // Listening on an address other machines reach: says so under the port, in red.
    void WarnOpenToOthers(const QString& address);

private:
    void OnReceived(const ReceivedPiece& piece);
    void OnStateChanged();
    void OnLineSettings(const LineSettings& settings);
    void OnLineLost(const QString& why);
    void AppendToLog(const QString& entry);
    void ShowFrame();
    // The face's state for a screen reader, said once per change (not per frame).
    void SayState(bool announce = true);

    QString Tr(SimText text) const { return Text(text, m_lang); }

    DisplayListener& m_listener;
    Language m_lang;
    SegmentDisplay* m_face = nullptr;
    QLabel* m_port = nullptr;
    QLabel* m_line = nullptr;
    QLabel* m_warning = nullptr;
    QTextEdit* m_log = nullptr;
    ui::Announcer* m_announcer = nullptr;
    QTimer m_animation;
    DisplayState m_text;  // the state the animation runs on
    unsigned m_tick = 0;  // animation ticks since the text last changed
};

}  // namespace sim
