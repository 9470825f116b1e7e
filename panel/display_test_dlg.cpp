#include "panel/display_test_dlg.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cstdlib>

#include "panel/auto_display.h"
#include "panel/dialog_builder.h"
#include "panel/fit_width_validator.h"
#include "protocol/code_page.h"
#include "protocol/display_commands.h"
#include "protocol/send_staging.h"
#include "resources/dialog_template.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"

namespace panel {
namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int Atoi(const QString& text)
{
    return std::atoi(text.toStdString().c_str());
}

protocol::Lamp LampOfButton(int id)
{
    switch (id) {
    case IDC_LAMP_OFF: return protocol::Lamp::AllDark;
    case IDC_LAMP_PRICE: return protocol::Lamp::Price;
    case IDC_LAMP_TOTAL: return protocol::Lamp::Total;
    case IDC_LAMP_COLLECT: return protocol::Lamp::Collect;
    case IDC_LAMP_CHANGE: return protocol::Lamp::Change;
    default: return protocol::Lamp::None;
    }
}

}  // namespace

// The messages the panel handles, from where, to which handler. Painting the minimised
// window and its drag icon are the window system's work here, so they have no entries.
enum class Notify {
    SysCommand,  // an entry of the system menu; the id comes with it
    Timer,       // the demonstration's timer; its id comes with it
    SelChange,   // the user chose an entry of a combo box
    Clicked,     // a button was clicked
};

struct CDisplayTestDlg::MessageMapEntry {
    Notify code;
    int id;  // the control; 0 where the message names none
    void (*handler)(CDisplayTestDlg& dlg, unsigned id);
};

const CDisplayTestDlg::MessageMapEntry CDisplayTestDlg::kMessageMap[] = {
    {Notify::SysCommand, 0, &CallWithId<&CDisplayTestDlg::OnSysCommand>},
    {Notify::Timer, 0, &CallWithId<&CDisplayTestDlg::OnTimer>},
    {Notify::SelChange, IDC_PORT, &Call<&CDisplayTestDlg::OnSelchangePort>},
    {Notify::SelChange, IDC_BAUD, &Call<&CDisplayTestDlg::OnSelchangeBaud>},
    {Notify::Clicked, IDC_SEND, &Call<&CDisplayTestDlg::OnSendData>},
    {Notify::Clicked, IDC_AUTO, &Call<&CDisplayTestDlg::OnAutoDisplay>},
    {Notify::Clicked, IDC_SCROLL, &Call<&CDisplayTestDlg::OnScrolling>},
    {Notify::Clicked, IDC_FLICKER, &Call<&CDisplayTestDlg::OnFlickering>},
    {Notify::Clicked, IDC_LANG_EN, &Call<&CDisplayTestDlg::OnLanguage>},
    {Notify::Clicked, IDC_LANG_CN, &Call<&CDisplayTestDlg::OnLanguage>},
};

CDisplayTestDlg::CDisplayTestDlg(PanelServices services, QWidget* parent)
    : QDialog(parent)
    , m_hIcon(res::LoadIcon(IDR_MAINFRAME))
    , m_services(std::move(services))
{
    if (!m_services.listPorts)
        m_services.listPorts = [] { return serial::DiscoverPorts(); };
    if (!m_services.now)
        m_services.now = [] { return std::chrono::steady_clock::now(); };
    if (!m_services.timer)
        m_services.timer = std::make_unique<PreciseStepTimer>();

    m_controls = BuildDialog(*this, res::TestPanelTemplate()).controls;
    auto* data = static_cast<QLineEdit*>(GetDlgItem(IDC_DATA));
    data->setValidator(new FitWidthValidator(data));
    m_sysMenu = new QMenu(this);
    m_sysMenu->setObjectName(QStringLiteral("IDM_SYSMENU"));
    BindMessageMap();
    OnInitDialog();
}

CDisplayTestDlg::~CDisplayTestDlg() = default;

void CDisplayTestDlg::BindMessageMap()
{
    for (const MessageMapEntry& entry : kMessageMap) {
        const auto handler = entry.handler;
        switch (entry.code) {
        case Notify::SysCommand:
            connect(m_sysMenu, &QMenu::triggered, this,
                    [this, handler](QAction* action) { handler(*this, action->data().toUInt()); });
            break;
        case Notify::Timer:
            m_services.timer->SetTick([this, handler] { handler(*this, kAutoTimerId); });
            break;
        case Notify::SelChange:
            // Sent for a choice of the user only, as CBN_SELCHANGE is.
            connect(static_cast<QComboBox*>(GetDlgItem(entry.id)), &QComboBox::activated, this,
                    [this, handler] { handler(*this, 0); });
            break;
        case Notify::Clicked:
            connect(static_cast<QAbstractButton*>(GetDlgItem(entry.id)), &QAbstractButton::clicked, this,
                    [this, handler] { handler(*this, 0); });
            break;
        }
    }
}

QWidget* CDisplayTestDlg::GetDlgItem(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void CDisplayTestDlg::OnInitDialog()
{
    // The template's items are in the combo boxes already; attach and fill the controls once.
    UpdateData(false);

    // The About entry. No system menu can be reached on every desktop, so the window
    // offers its menu on a right click.
    const QString aboutMenu = FromUtf8(res::Caption(res::Text::AboutMenu, CurrentLanguage()));
    if (m_services.runAboutBox && !aboutMenu.isEmpty())
        m_sysMenu->addAction(aboutMenu)->setData(IDM_ABOUTBOX);
    setWindowIcon(m_hIcon);

    FillPortList();
    SetDlgItemText(IDC_DATA, m_strData);
    CheckRadioButton(IDC_LAMP_OFF, IDC_LAMP_CHANGE, IDC_LAMP_OFF);
    CheckRadioButton(IDC_LANG_EN, IDC_LANG_CN, IDC_LANG_CN);

    static_cast<QComboBox*>(GetDlgItem(IDC_PORT))->setCurrentIndex(0);
    TakePortFromSelection();

    UpdateData(false);
    ApplyLanguage();
    UpdateControlStates();
    ConnectPort();
}

void CDisplayTestDlg::DoDataExchange(bool saveAndValidate)
{
    m_ctlPortIcon = static_cast<QLabel*>(GetDlgItem(IDC_PORT_ICON));

    auto* baud = static_cast<QComboBox*>(GetDlgItem(IDC_BAUD));
    auto* timeStatus = static_cast<QLineEdit*>(GetDlgItem(IDC_TIME_STATUS));
    auto* sendStatus = static_cast<QLineEdit*>(GetDlgItem(IDC_SEND_STATUS));
    auto* data = static_cast<QLineEdit*>(GetDlgItem(IDC_DATA));
    if (saveAndValidate) {
        m_strBaud = baud->currentText();
        m_strTimeStatus = timeStatus->text();
        m_strSendStatus = sendStatus->text();
        m_strData = data->text();
    } else {
        // The first item that begins with the text; none found leaves the selection.
        for (int i = 0; i < baud->count(); ++i) {
            if (baud->itemText(i).startsWith(m_strBaud, Qt::CaseInsensitive)) {
                baud->setCurrentIndex(i);
                break;
            }
        }
        timeStatus->setText(m_strTimeStatus);
        sendStatus->setText(m_strSendStatus);
        data->setText(m_strData);
    }
}

bool CDisplayTestDlg::UpdateData(bool saveAndValidate)
{
    DoDataExchange(saveAndValidate);
    return true;
}

void CDisplayTestDlg::FillPortList()
{
    auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    combo->clear();
    for (const std::string& entry : m_services.listPorts())
        combo->addItem(FromUtf8(entry), QByteArray::fromStdString(entry));
    if (combo->count() == 0) {
        combo->setEnabled(false);
    } else {
        combo->setCurrentIndex(combo->count() - 1);
        // The open list is as wide as the longest entry, even where the box is narrower.
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + combo->view()->verticalScrollBar()->sizeHint().width());
    }
}

void CDisplayTestDlg::TakePortFromSelection()
{
    const auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    m_strPortName = combo->currentData().toByteArray().toStdString();
    m_nPort = serial::ComPortNumber(m_strPortName);
}

void CDisplayTestDlg::ConnectPort()
{
    m_bPortOpen = true;
    if (!m_port.IsOpen())
        m_bPortOpen = m_port.Open(m_strPortName, static_cast<std::uint32_t>(std::max(0, Atoi(m_strBaud))));
    UpdateControlStates();
}

void CDisplayTestDlg::UpdateControlStates()
{
    EnableDlgItem(IDC_SEND, m_bPortOpen);
    EnableDlgItem(IDC_FLICKER, m_bPortOpen);
    EnableDlgItem(IDC_SCROLL, m_bPortOpen);
    // While the demonstration runs its button stays usable, so it can always be stopped.
    EnableDlgItem(IDC_AUTO, m_bPortOpen || m_bAutoRunning);

    const int icon = m_bPortOpen ? IDI_PORT_OPEN : IDI_PORT_CLOSED;
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    m_ctlPortIcon->setPixmap(res::LoadIcon(icon).pixmap(size, size));
    m_ctlPortIcon->setProperty("iconId", icon);
    m_ctlPortIcon->setToolTip(PortStateTip());

    UpdateData(false);
}

QString CDisplayTestDlg::PortStateTip() const
{
    const QString port = FromUtf8(m_strPortName);
    if (m_bPortOpen)
        return Text(res::Text::PortOpen).arg(port, m_strBaud);
    if (static_cast<QComboBox*>(GetDlgItem(IDC_PORT))->count() == 0)
        return Text(res::Text::PortNoneFound);

    const serial::OpenFailure& failure = m_port.LastOpenFailure();
    switch (failure.kind) {
    case serial::OpenError::None:
    case serial::OpenError::AlreadyOpen:
        return {};  // not tried yet
    case serial::OpenError::BadName:
        return Text(res::Text::PortBadName).arg(port);
    case serial::OpenError::NoSuchPort:
        return Text(res::Text::PortNoSuchPort).arg(port);
    case serial::OpenError::PermissionDenied:
        return Text(res::Text::PortPermissionDenied).arg(port);
    case serial::OpenError::InUse:
        return Text(res::Text::PortInUse).arg(port);
    case serial::OpenError::UnsupportedBaud:
        return Text(res::Text::PortUnsupportedBaud).arg(port, m_strBaud);
    case serial::OpenError::Other:
        break;
    }
    return Text(res::Text::PortOther).arg(port, m_strBaud, QString::fromLocal8Bit(failure.osMessage));
}

std::uint32_t CDisplayTestDlg::SendHex(std::string_view hex)
{
    return protocol::StageAndWrite(hex, [this](const std::uint8_t* data, std::uint32_t count) {
        return m_port.Write(data, count);
    });
}

void CDisplayTestDlg::OnSelchangePort()
{
    TakePortFromSelection();
    OnSelchangeBaud();
}

void CDisplayTestDlg::OnSelchangeBaud()
{
    UpdateData(true);
    // Close first, so every attempt starts from a closed port.
    if (m_port.IsOpen())
        m_port.Close();
    m_bPortOpen = false;
    UpdateControlStates();
    ConnectPort();
}

void CDisplayTestDlg::OnSendData()
{
    UpdateData(true);
    m_strSendStatus.clear();
    m_strTimeStatus.clear();
    const protocol::Lamp lamp = LampOfButton(GetCheckedRadioButton(IDC_LAMP_OFF, IDC_LAMP_CHANGE));
    const std::string message =
        protocol::SendDataMessage(lamp, protocol::ToDisplayCodePage(m_strData.toStdString()));
    const std::uint32_t result = SendHex(message);
    m_strSendStatus = SendStatus(result, res::Text::StatusSuccess);
    UpdateData(false);
}

void CDisplayTestDlg::OnScrolling()
{
    m_strSendStatus.clear();
    m_strTimeStatus.clear();
    const std::uint32_t result = SendHex(protocol::ScrollingMessage());
    m_strSendStatus = SendStatus(result, res::Text::StatusScrolling);
    UpdateData(false);
}

void CDisplayTestDlg::OnFlickering()
{
    m_strSendStatus.clear();
    m_strTimeStatus.clear();
    const std::uint32_t result = SendHex(protocol::FlickeringMessage());
    m_strSendStatus = SendStatus(result, res::Text::StatusFlickering);
    UpdateData(false);
}

void CDisplayTestDlg::OnAutoDisplay()
{
    UpdateData(true);
    m_bAutoRunning = !m_bAutoRunning;
    if (m_bAutoRunning) {
        m_timeStart = m_services.now();
        m_nStep = 1;
        SetTimer(kAutoTimerId, Atoi(m_strInterval));
        SetDlgItemText(IDC_AUTO, Text(res::Text::AutoStop));
        EnableDlgItem(IDC_SEND, false);
        EnableDlgItem(IDC_FLICKER, false);
        EnableDlgItem(IDC_SCROLL, false);
    } else {
        KillTimer(kAutoTimerId);
        SetDlgItemText(IDC_AUTO, Text(res::Text::AutoDisplay));
        // After a stop every action follows the port: on a closed port it could only fail.
        EnableDlgItem(IDC_SEND, m_bPortOpen);
        EnableDlgItem(IDC_FLICKER, m_bPortOpen);
        EnableDlgItem(IDC_SCROLL, m_bPortOpen);
        EnableDlgItem(IDC_AUTO, m_bPortOpen);
    }
}

void CDisplayTestDlg::OnTimer(unsigned /*nIDEvent: the panel has one timer*/)
{
    const res::Lang lang = CurrentLanguage();
    const AutoStep& step = AutoStepAt(m_nStep);
    m_strSendStatus = FromUtf8(res::Caption(step.label, lang));
    m_nStep = NextAutoStep(m_nStep);

    m_timeNow = m_services.now();
    m_strTimeStatus = QString::fromStdString(FormatRunTime(ElapsedSeconds(m_timeStart, m_timeNow)));

    const std::uint32_t result = SendHex(step.command);

    // The step counts either way; the upper line tells whether it reached the port.
    if (result == serial::CSerialPort::kErrorSuccess)
        m_strSendStatus = FromUtf8(res::Caption(res::Text::PrefixSend, lang)) + m_strSendStatus;
    else
        m_strSendStatus = FromUtf8(res::Caption(res::Text::StatusFailed, lang));
    m_strTimeStatus = FromUtf8(res::Caption(res::Text::PrefixRuntime, lang)) + m_strTimeStatus;
    UpdateData(false);
}

void CDisplayTestDlg::OnLanguage()
{
    ApplyLanguage();
}

void CDisplayTestDlg::ApplyLanguage()
{
    const res::Lang lang = CurrentLanguage();
    const res::Text autoCaptionNotShown = m_bAutoRunning ? res::Text::AutoDisplay : res::Text::AutoStop;
    for (const res::CaptionRow& row : res::CaptionTable()) {
        if (row.controlId != 0 && row.text != autoCaptionNotShown)
            SetDlgItemText(row.controlId, FromUtf8(lang == res::Lang::English ? row.english : row.chinese));
    }
    m_ctlPortIcon->setToolTip(PortStateTip());
}

void CDisplayTestDlg::OnSysCommand(unsigned nID)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX && m_services.runAboutBox)
        m_services.runAboutBox(this, CurrentLanguage());
}

void CDisplayTestDlg::done(int result)
{
    KillTimer(kAutoTimerId);
    QDialog::done(result);
}

void CDisplayTestDlg::keyPressEvent(QKeyEvent* event)
{
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                       (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter) {
        // Enter presses the push button that has the focus; anywhere else it ends the
        // dialog, as its OK would.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
            button->click();
            return;
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDisplayTestDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_sysMenu->isEmpty()) {
        event->ignore();
        return;
    }
    m_sysMenu->exec(event->globalPos());
}

int CDisplayTestDlg::GetCheckedRadioButton(int firstId, int lastId) const
{
    for (int id = firstId; id <= lastId; ++id) {
        const auto* radio = qobject_cast<const QRadioButton*>(GetDlgItem(id));
        if (radio && radio->isChecked())
            return id;
    }
    return 0;
}

void CDisplayTestDlg::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (int id = firstId; id <= lastId; ++id) {
        if (auto* radio = qobject_cast<QRadioButton*>(GetDlgItem(id)); radio && id == checkId)
            radio->setChecked(true);  // its group unchecks the others
    }
}

void CDisplayTestDlg::SetDlgItemText(int id, const QString& text)
{
    QWidget* control = GetDlgItem(id);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(control))
        box->setTitle(text);
    else if (control)
        control->setWindowTitle(text);
}

void CDisplayTestDlg::SetTimer(unsigned /*nIDEvent*/, int elapseMs)
{
    m_services.timer->Start(std::chrono::milliseconds(elapseMs));
}

void CDisplayTestDlg::KillTimer(unsigned /*nIDEvent*/)
{
    m_services.timer->Stop();
}

void CDisplayTestDlg::EnableDlgItem(int id, bool enable)
{
    if (QWidget* control = GetDlgItem(id))
        control->setEnabled(enable);
}

res::Lang CDisplayTestDlg::CurrentLanguage() const
{
    return GetCheckedRadioButton(IDC_LANG_EN, IDC_LANG_CN) == IDC_LANG_EN ? res::Lang::English : res::Lang::Chinese;
}

QString CDisplayTestDlg::Text(res::Text text) const
{
    return FromUtf8(res::Caption(text, CurrentLanguage()));
}

QString CDisplayTestDlg::SendStatus(std::uint32_t writeResult, res::Text success) const
{
    return Text(writeResult == serial::CSerialPort::kErrorSuccess ? success : res::Text::StatusFailed);
}

}  // namespace panel
