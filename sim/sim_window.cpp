#include "sim/sim_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

#include "common/announcer.h"
#include "sim/display_listener.h"
#include "sim/rendering.h"
#include "sim/segment_display.h"
#include "sim/state_line.h"

namespace sim {

SimWindow::SimWindow(DisplayListener& listener, const QString& portText, Language lang, QWidget* parent)
    : QWidget(parent), m_listener(listener), m_lang(lang)
{
    setWindowTitle(Tr(SimText::Title).arg(portText.section(QLatin1Char(' '), 0, 0)));
    setWindowIcon(SegmentDisplay::Icon());

    m_face = new SegmentDisplay(this);
    m_face->setObjectName(QStringLiteral("face"));
    m_face->SetLampNames(
        {Tr(SimText::LampPrice), Tr(SimText::LampTotal), Tr(SimText::LampCollect), Tr(SimText::LampChange)});
    m_port = new QLabel(Tr(SimText::Listening).arg(portText), this);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("line"));
    m_line->setWordWrap(true);
    m_warning = new QLabel(this);
    m_warning->setObjectName(QStringLiteral("warning"));
    m_warning->setWordWrap(true);
    m_warning->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_warning->hide();
    // A rich-text view, for its hanging indent (AppendToLog); the text stays plain.
    m_log = new QTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setAcceptRichText(false);
    m_log->setUndoRedoEnabled(false);
    m_log->document()->setMaximumBlockCount(kLogLines);
    m_log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_log->setPlaceholderText(Tr(SimText::Placeholder));
    m_log->setAccessibleName(Tr(SimText::LogName));
    m_announcer = new ui::Announcer(this);

    auto* side = new QVBoxLayout;
    side->addWidget(m_port);
    side->addWidget(m_warning);
    side->addWidget(m_line);
    side->addWidget(m_log, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_face, 3);
    layout->addLayout(side, 2);
    // Compact, and in step with the font: the face at its size, the log beside it taking
    // two parts of five, enough for a message of a few bytes a line.
    const QMargins margins = layout->contentsMargins();
    resize(m_face->sizeHint().width() * 5 / 3 + layout->spacing() + margins.left() + margins.right(),
           m_face->sizeHint().height() + margins.top() + margins.bottom());

    m_animation.setInterval(kTickMs);
    connect(&m_animation, &QTimer::timeout, this, &SimWindow::AdvanceAnimation);
    connect(&listener, &DisplayListener::received, this, &SimWindow::OnReceived);
    connect(&listener, &DisplayListener::stateChanged, this, &SimWindow::OnStateChanged);
    connect(&listener, &DisplayListener::lineSettingsChanged, this, &SimWindow::OnLineSettings);
    connect(&listener, &DisplayListener::lineLost, this, &SimWindow::OnLineLost);
    if (const auto settings = listener.ClientSettings()) {
        OnLineSettings(*settings);
    } else if (listener.HidesSenderSettings()) {
        const LineSettings display{listener.Baud(), 8, 'N', 1};
        m_line->setText(Tr(listener.OnNetwork() ? SimText::SendersLineHiddenTcp : SimText::SendersLineHidden)
                            .arg(QString::fromStdString(DescribeLine(display))));
    } else {
        m_line->hide();  // a real line: its settings are the display's own
    }
    ShowFrame();
    SayState(false);
}

void SimWindow::SetLogLines(int lines)
{
    m_log->document()->setMaximumBlockCount(lines);
}

void SimWindow::WarnOpenToOthers(const QString& address)
{
    m_warning->setText(Tr(SimText::OpenToOthers).arg(address));
    m_warning->show();
}

void SimWindow::OnLineSettings(const LineSettings& settings)
{
    const std::string note = MisreadNote(settings, m_listener.Baud());
    QString text = Tr(SimText::SendersLine).arg(QString::fromStdString(DescribeLine(settings)));
    if (!note.empty()) {
        const LineSettings display{m_listener.Baud(), 8, 'N', 1};
        text += Tr(SimText::WouldShowGarbage).arg(QString::fromStdString(DescribeLine(display)));
    }
    m_line->setText(text);
    m_line->setStyleSheet(note.empty() ? QString() : QStringLiteral("color: #c00000; font-weight: bold;"));
}

void SimWindow::OnReceived(const ReceivedPiece& piece)
{
    const QString stamp = piece.at.toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString indent(stamp.size() + 2, QLatin1Char(' '));
    const QByteArray& bytes = piece.bytes;
    QString entry = stamp + QStringLiteral("  ")
                    + QString::fromStdString(HexLine(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                     static_cast<std::size_t>(std::min(bytes.size(), kLogBytes))));
    if (bytes.size() > kLogBytes)
        entry += Tr(SimText::MoreBytes).arg(bytes.size());
    if (!piece.commands.isEmpty()) {
        QStringList commands;
        for (const QString& command : piece.commands)
            commands << CommandText(command, m_lang);
        entry += QStringLiteral("\n") + indent + commands.join(QStringLiteral(" · "));
        if (piece.commandCount > piece.commands.size())
            entry += Tr(SimText::MoreCommands).arg(piece.commandCount);
    }
    if (!piece.misread.isEmpty()) {
        // What a display at its rate makes of it is no message: the face took none of it.
        QString why = piece.misread;
        if (m_lang != Language::English && piece.sender) {
            const LineSettings display{m_listener.Baud(), 8, 'N', 1};
            why = Tr(SimText::Misread)
                      .arg(QString::fromStdString(DescribeLine(*piece.sender)),
                           QString::fromStdString(DescribeLine(display)));
        }
        entry += QStringLiteral("\n") + indent + QStringLiteral("! ") + why + Tr(SimText::NotShown);
    }
    AppendToLog(entry);
}

void SimWindow::AppendToLog(const QString& entry)
{
    // Like a terminal: at the bottom the log follows the newest entry; scrolled up it
    // stays on what the user reads, while the oldest entries go above it.
    QScrollBar* bar = m_log->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    const QTextCursor top = m_log->cursorForPosition(QPoint(0, 0));  // moves with the text
    const int topY = m_log->cursorRect(top).top();
    // A line too long for the log wraps under the text after the time, not under the time.
    const qreal hang = QFontMetricsF(m_log->font()).horizontalAdvance(QStringLiteral("00:00:00.000  "));
    QTextBlockFormat format;
    format.setLeftMargin(hang);
    format.setTextIndent(-hang);
    QTextCursor end(m_log->document());
    end.movePosition(QTextCursor::End);
    const bool empty = m_log->document()->isEmpty();
    const QStringList lines = entry.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == 0 && empty)
            end.setBlockFormat(format);
        else
            end.insertBlock(format);
        end.insertText(lines[i]);
    }
    bar->setValue(follow ? bar->maximum() : bar->value() + m_log->cursorRect(top).top() - topY);
}

void SimWindow::OnStateChanged()
{
    // A new text starts its scrolling or flickering from the beginning; a lamp alone
    // leaves the text running.
    const DisplayState& s = m_listener.State();
    if (s.cells != m_text.cells || s.mode != m_text.mode || s.scrollText != m_text.scrollText)
        m_tick = 0;
    m_text = s;
    if (s.mode == Mode::Still) {
        m_animation.stop();
    } else {
        m_animation.start();
    }
    ShowFrame();
    SayState();
}

void SimWindow::SayState(bool announce)
{
    // In the window's language, as a user reads the face; --text stays the scripts' line.
    const QString spoken = FaceText(m_listener.State(), m_lang);
    if (spoken == m_face->accessibleName())
        return;
    ui::SetAccessibleName(m_face, spoken);
    // The face with the focus: the screen reader says its new name by itself.
    if (announce && !m_face->hasFocus())
        m_announcer->Say(spoken);
}

void SimWindow::OnLineLost(const QString& why)
{
    // The face keeps what it showed, as a display whose cable was pulled does.
    m_port->setText(m_port->text() + QStringLiteral(" — ")
                    + (why == QLatin1String("the line was closed") ? Tr(SimText::LineClosed) : why));
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
