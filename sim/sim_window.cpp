#include "sim/sim_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

#include "sim/display_listener.h"
#include "sim/rendering.h"
#include "sim/segment_display.h"
#include "sim/state_line.h"

namespace sim {

namespace {
constexpr int kLogLines = 5000;  // older lines go, so a long run never fills the memory
constexpr qsizetype kLogBytes = 256;  // of a larger piece the log shows the beginning
}

SimWindow::SimWindow(DisplayListener& listener, const QString& portText, QWidget* parent)
    : QWidget(parent), m_listener(listener)
{
    setWindowTitle(tr("Virtual Customer Display — %1").arg(portText.section(QLatin1Char(' '), 0, 0)));

    m_face = new SegmentDisplay(this);
    m_face->setObjectName(QStringLiteral("face"));
    m_port = new QLabel(tr("Listening on %1").arg(portText), this);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(kLogLines);
    m_log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_log->setPlaceholderText(tr("Received messages appear here, in hexadecimal."));

    auto* side = new QVBoxLayout;
    side->addWidget(m_port);
    side->addWidget(m_log, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_face, 3);
    layout->addLayout(side, 2);
    resize(1080, 300);

    m_animation.setInterval(kTickMs);
    connect(&m_animation, &QTimer::timeout, this, &SimWindow::AdvanceAnimation);
    connect(&listener, &DisplayListener::received, this, &SimWindow::OnReceived);
    connect(&listener, &DisplayListener::stateChanged, this, &SimWindow::OnStateChanged);
    connect(&listener, &DisplayListener::lineLost, this, &SimWindow::OnLineLost);
    ShowFrame();
}

void SimWindow::OnReceived(const QDateTime& at, const QByteArray& bytes, const QStringList& commands)
{
    const QString stamp = at.toString(QStringLiteral("HH:mm:ss.zzz"));
    QString entry = stamp + QStringLiteral("  ") +
                    QString::fromStdString(HexLine(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                   static_cast<std::size_t>(std::min(bytes.size(), kLogBytes))));
    if (bytes.size() > kLogBytes) entry += tr(" ... (%1 bytes)").arg(bytes.size());
    if (!commands.isEmpty())
        entry += QStringLiteral("\n") + QString(stamp.size() + 2, QLatin1Char(' ')) +
                 commands.join(QStringLiteral(" · "));
    m_log->appendPlainText(entry);
}

void SimWindow::OnStateChanged()
{
    // A new text starts its scrolling or flickering from the beginning; a lamp alone
    // leaves the text running.
    const DisplayState& s = m_listener.State();
    if (s.cells != m_text.cells || s.mode != m_text.mode || s.scrollText != m_text.scrollText) m_tick = 0;
    m_text = s;
    if (s.mode == Mode::Still) {
        m_animation.stop();
    } else {
        m_animation.start();
    }
    ShowFrame();
}

void SimWindow::OnLineLost(const QString& why)
{
    // The face keeps what it showed, as a display whose cable was pulled does.
    m_port->setText(m_port->text() + QStringLiteral(" — ") + why);
}

void SimWindow::AdvanceAnimation()
{
    ++m_tick;
    ShowFrame();
}

void SimWindow::ShowFrame()
{
    const DisplayState& s = m_listener.State();
    m_face->SetFace(VisibleCells(s, m_tick), s.lamps);
}

}  // namespace sim
