#include "panel/display_test_dlg.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QButtonGroup>
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

#include "common/announcer.h"
#include "panel/dialog_builder.h"
#include "panel/fit_width_validator.h"
#include "panel/network_port_dlg.h"
#include "panel/system_menu.h"
#include "protocol/display_commands.h"
#include "resources/dialog_template.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"
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

// The kind of widget the panel takes each control for where it reaches it by id. A
// template edit that changes one stops the panel as it is built, not in a cast later.
void CheckControlKinds(const std::map<int, QWidget*>& controls)
{
    const std::pair<int, const QMetaObject*> expected[] = {
        {IDC_DATA, &QLineEdit::staticMetaObject},        {IDC_TIME_STATUS, &QLineEdit::staticMetaObject},
        {IDC_SEND_STATUS, &QLineEdit::staticMetaObject}, {IDC_PORT, &QComboBox::staticMetaObject},
        {IDC_BAUD, &QComboBox::staticMetaObject},        {IDC_PORT_ICON, &QLabel::staticMetaObject},
    };
    for (const auto& [id, kind] : expected) {
        const auto it = controls.find(id);
        if (it == controls.end() || !it->second->inherits(kind->className()))
            qFatal("control %d of the panel's template is no %s", id, kind->className());
    }
}

// Connects a notification of the control with the id; a control of another kind stops the
// panel as it is built.
template <class Control, class... Args, class Slot>
void ConnectControl(QWidget* control, int id, void (Control::*signal)(Args...), QObject* context, Slot slot,
                    const char* kind)
{
    auto* typed = qobject_cast<Control*>(control);
    if (!typed)
        qFatal("control %d of the message map is no %s", id, kind);
    QObject::connect(typed, signal, context, slot);
}

// Marks the port list's entry of the chosen port while it is away.
constexpr int kAwayRole = Qt::UserRole + 1;
// Marks the port list's last entry, which opens the network port dialog.
constexpr int kNetworkEntryRole = Qt::UserRole + 2;

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
    : QDialog(parent), m_appIcon(res::LoadIcon(IDR_MAINFRAME)), m_portOpenIcon(res::LoadIcon(IDI_PORT_OPEN)),
      m_portClosedIcon(res::LoadIcon(IDI_PORT_CLOSED)),
      m_core(std::make_unique<PanelCore>(WithMachineServices(std::move(services))))
{
    m_controls = BuildDialog(*this, res::TestPanelTemplate()).controls;
    CheckControlKinds(m_controls);
    auto* data = static_cast<QLineEdit*>(GetDlgItem(IDC_DATA));
    data->setValidator(new FitWidthValidator(data));
    m_announcer = new ui::Announcer(this);
    m_sysMenu = new QMenu(this);
    m_sysMenu->setObjectName(QStringLiteral("IDM_SYSMENU"));
    // A right click on a status line offers its Copy and the About entry both.
    for (const int id : {IDC_SEND_STATUS, IDC_TIME_STATUS}) {
        QWidget* line = GetDlgItem(id);
        line->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(line, &QWidget::customContextMenuRequested, this,
                [this, line](const QPoint& pos) { ShowStatusLineMenu(line, pos); });
    }
    // A combo box takes a right click for itself and shows nothing: the window's menu
    // comes there too.
    for (const int id : {IDC_PORT, IDC_BAUD}) {
        QWidget* combo = GetDlgItem(id);
        combo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(combo, &QWidget::customContextMenuRequested, this, [this, combo](const QPoint& pos) {
            if (!m_sysMenu->isEmpty())
                m_sysMenu->exec(combo->mapToGlobal(pos));
        });
    }
    // A disabled control passes no right click on to the window: it is caught here.
    for (const auto& [id, control] : m_controls)
        control->installEventFilter(this);
    static_cast<QLabel*>(GetDlgItem(IDC_LBL_PORT))->setBuddy(GetDlgItem(IDC_PORT));
    static_cast<QLabel*>(GetDlgItem(IDC_LBL_BAUD))->setBuddy(GetDlgItem(IDC_BAUD));
    BindMessageMap();
    connect(m_core.get(), &PanelCore::portsChanged, this, &CDisplayTestDlg::FillPortList);
    connect(m_core.get(), &PanelCore::stateChanged, this, &CDisplayTestDlg::UpdateControlStates);
    // Each step shows the controls' data as last read, as every handler does when it ends.
    connect(m_core.get(), &PanelCore::stepped, this, [this] { UpdateData(false); });
    OnInitDialog();
}

CDisplayTestDlg::~CDisplayTestDlg() = default;

void CDisplayTestDlg::BindMessageMap()
{
    for (const MessageMapEntry& entry : kMessageMap) {
        const auto handler = entry.handler;
        const auto call = [this, handler] { handler(*this, 0); };
        switch (entry.code) {
        case Notify::SysCommand:
            connect(m_sysMenu, &QMenu::triggered, this,
                    [this, handler](QAction* action) { handler(*this, action->data().toUInt()); });
            break;
        case Notify::SelChange:
            // Sent for a choice of the user only, as CBN_SELCHANGE is.
            ConnectControl(GetDlgItem(entry.id), entry.id, &QComboBox::activated, this, call, "combo box");
            break;
        case Notify::Clicked:
            ConnectControl(GetDlgItem(entry.id), entry.id, &QAbstractButton::clicked, this, call, "button");
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

    // The About entry, in the window's system menu where the platform has one. No system
    // menu can be reached on every desktop, so the window offers it on a right click too.
    const QString aboutMenu = FromUtf8(res::Caption(res::Text::AboutMenu, CurrentLanguage()));
    if (m_core->Services().runAboutBox && !aboutMenu.isEmpty()) {
        m_sysMenu->addAction(aboutMenu)->setData(IDM_ABOUTBOX);
        AppendToSystemMenu(*this, aboutMenu, IDM_ABOUTBOX);
    }
    setWindowIcon(m_appIcon);

    SetDlgItemText(IDC_DATA, m_strData);
    CheckRadioButton(IDC_LAMP_OFF, IDC_LAMP_CHANGE, IDC_LAMP_OFF);
    CheckRadioButton(IDC_LANG_EN, IDC_LANG_CN, IDC_LANG_CN);

    UpdateData(false);
    ApplyLanguage();
    ApplyAccessibleNames();
    // Lists the ports, chooses the first and opens it; the answer comes from the port's
    // thread.
    m_core->Start(m_strBaud, CurrentLanguage());
    UpdateControlStates();
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
        // The status lines only where they changed: each new text is an event for a screen
        // reader.
        for (auto [line, text] : {std::pair{timeStatus, &m_strTimeStatus}, std::pair{sendStatus, &m_strSendStatus}}) {
            if (line->text() != *text)
                line->setText(*text);
        }
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
    for (const std::string& entry : m_core->Ports()) {
        combo->addItem(FromUtf8(entry), QByteArray::fromStdString(entry));
        combo->setItemData(combo->count() - 1, m_core->PortDescription(entry), Qt::ToolTipRole);
    }
    // The chosen port stays in sight while it is away, marked so, rather than leaving the
    // list blank: the user sees what the panel waits for.
    const std::string& chosen = m_core->ChosenPort();
    const auto& ports = m_core->Ports();
    if (!chosen.empty() && std::find(ports.begin(), ports.end(), chosen) == ports.end()) {
        combo->addItem(Text(res::Text::PortAway).arg(FromUtf8(chosen)), QByteArray::fromStdString(chosen));
        combo->setItemData(combo->count() - 1, palette().color(QPalette::Disabled, QPalette::Text), Qt::ForegroundRole);
        combo->setItemData(combo->count() - 1, m_core->PortTip(), Qt::ToolTipRole);
        combo->setItemData(combo->count() - 1, true, kAwayRole);  // the tooltip follows the port's state
    }
    combo->addItem(Text(res::Text::NetPortEntry));
    combo->setItemData(combo->count() - 1, true, kNetworkEntryRole);
    combo->setEnabled(combo->count() > 0);
    if (combo->count() > 0) {
        // The open list is as wide as the longest entry, even where the box is narrower.
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0)
                                       + combo->view()->verticalScrollBar()->sizeHint().width());
    }
    // The chosen port, while it is listed; none while it is away.
    combo->setCurrentIndex(combo->findData(QByteArray::fromStdString(m_core->ChosenPort())));
}

void CDisplayTestDlg::UpdateControlStates()
{
    auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    if (m_strPortName != m_core->ChosenPort()) {
        m_strPortName = m_core->ChosenPort();
        m_nPort = serial::ComPortNumber(m_strPortName);
        combo->setCurrentIndex(combo->findData(QByteArray::fromStdString(m_strPortName)));
    }

    const bool actions = m_core->ActionsEnabled();
    EnableDlgItem(IDC_SEND, actions);
    EnableDlgItem(IDC_FLICKER, actions);
    EnableDlgItem(IDC_SCROLL, actions);
    // While the demonstration runs its button stays usable, so it can always be stopped.
    EnableDlgItem(IDC_AUTO, m_core->AutoEnabled());
    SetDlgItemText(IDC_AUTO, Text(m_core->AutoRunning() ? res::Text::AutoStop : res::Text::AutoDisplay));

    const int icon = m_core->PortOpen() ? IDI_PORT_OPEN : IDI_PORT_CLOSED;
    if (m_ctlPortIcon->property("iconId").toInt() != icon) {
        const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
        m_ctlPortIcon->setPixmap((icon == IDI_PORT_OPEN ? m_portOpenIcon : m_portClosedIcon).pixmap(size, size));
        m_ctlPortIcon->setProperty("iconId", icon);
    }
    m_ctlPortIcon->setToolTip(m_core->PortTip());
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i, kAwayRole).toBool())
            combo->setItemData(i, m_core->PortTip(), Qt::ToolTipRole);
    }
    ApplyAccessibleNames();

    // Only the status lines: the data edit and the baud rate are the user's until the
    // next action reads them.
    m_strSendStatus = m_core->UpperStatus();
    m_strTimeStatus = m_core->LowerStatus();
    for (const auto& [id, text] :
         {std::pair{IDC_SEND_STATUS, &m_strSendStatus}, std::pair{IDC_TIME_STATUS, &m_strTimeStatus}}) {
        auto* line = static_cast<QLineEdit*>(GetDlgItem(id));
        if (line->text() != *text)
            line->setText(*text);
        // A text longer than the line shows its beginning; the whole of it on hover.
        line->setCursorPosition(0);
        line->setToolTip(line->fontMetrics().horizontalAdvance(*text) > line->width() ? *text : QString());
    }
    AnnounceChanges();
}

void CDisplayTestDlg::AnnounceChanges()
{
    QStringList said;
    const PanelCore::PortState state = m_core->State();
    const bool portChanged = state != m_heardState || m_core->ChosenPort() != m_heardPort;
    // On the port list the screen reader says its new description by itself.
    if (portChanged && state != PanelCore::PortState::Opening && !GetDlgItem(IDC_PORT)->hasFocus())
        said << SpokenPortState();
    m_heardState = state;
    m_heardPort = m_core->ChosenPort();

    const bool running = m_core->AutoRunning();
    if (running != m_heardRunning)
        said << Text(running ? res::Text::AccAutoStarted : res::Text::AccAutoStopped);
    // The demonstration's steps are not said: the lines stay there to be read at any time.
    else if (!running && !portChanged && m_strSendStatus != m_heardUpper && !m_strSendStatus.isEmpty())
        said << m_strSendStatus;  // in the language it was written in, as it shows
    m_heardRunning = running;
    m_heardUpper = m_strSendStatus;

    if (!said.isEmpty())
        m_announcer->Say(said.join(Text(res::Text::AccSentenceEnd)));
}

QString CDisplayTestDlg::SpokenPortState() const
{
    QString state = m_core->PortTip();
    if (state.isEmpty())
        state = m_ctlPortIcon->accessibleName();
    // What to do about it, or what the panel waits for, where the lower line says it.
    const QString hint = m_core->AutoRunning() || m_core->PortOpen() ? QString() : m_core->LowerStatus();
    if (!hint.isEmpty() && !state.contains(hint, Qt::CaseInsensitive))
        state += Text(res::Text::AccSentenceEnd) + hint;
    return state;
}

void CDisplayTestDlg::OnSelchangePort()
{
    const auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    if (combo->currentData(kNetworkEntryRole).toBool()) {
        OnNetworkPort();
        return;
    }
    OnSelchangeBaud();
}

void CDisplayTestDlg::OnSelchangeBaud()
{
    UpdateData(true);
    const auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    const bool listed = combo->currentIndex() >= 0 && !combo->currentData(kNetworkEntryRole).toBool();
    const std::string port = listed ? combo->currentData().toByteArray().toStdString() : m_core->ChosenPort();
    m_core->Connect(port, m_strBaud);
}

void CDisplayTestDlg::OnNetworkPort()
{
    if (m_networkDlg)
        return;
    m_networkDlg = new NetworkPortDlg(CurrentLanguage(), this);
    connect(m_networkDlg, &QDialog::finished, this, &CDisplayTestDlg::OnNetworkPortDone);
    // Window-modal and without a loop of its own: the panel's port and timers go on, and
    // its Enter and Escape are the dialog's while it is open.
    m_networkDlg->open();
}

void CDisplayTestDlg::OnNetworkPortDone(int result)
{
    const std::string port = m_networkDlg ? m_networkDlg->PortName() : std::string();
    if (m_networkDlg)
        m_networkDlg->deleteLater();
    auto* combo = static_cast<QComboBox*>(GetDlgItem(IDC_PORT));
    if (result != QDialog::Accepted || port.empty()) {
        combo->setCurrentIndex(combo->findData(QByteArray::fromStdString(m_core->ChosenPort())));
        return;
    }
    UpdateData(true);
    m_core->AddPort(port);
    m_core->Connect(port, m_strBaud);
}

void CDisplayTestDlg::OnSendData()
{
    UpdateData(true);
    const protocol::Lamp lamp = LampOfButton(GetCheckedRadioButton(IDC_LAMP_OFF, IDC_LAMP_CHANGE));
    m_core->SendData(lamp, m_strData);
    UpdateData(false);
}

void CDisplayTestDlg::OnScrolling()
{
    m_core->Scrolling();
    UpdateData(false);
}

void CDisplayTestDlg::OnFlickering()
{
    m_core->Flickering();
    UpdateData(false);
}

void CDisplayTestDlg::OnAutoDisplay()
{
    UpdateData(true);
    m_core->ToggleAuto(std::chrono::milliseconds(Atoi(m_strInterval)));
}

void CDisplayTestDlg::OnLanguage()
{
    ApplyLanguage();
    m_core->SetLanguage(CurrentLanguage());
    FillPortList();  // an away port's mark is in the language
    ApplyAccessibleNames();
}

void CDisplayTestDlg::ApplyAccessibleNames()
{
    using ui::SetAccessibleName;
    SetAccessibleName(this, Text(res::Text::AccWindow));
    for (const auto& [id, control] : m_controls) {
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            SetAccessibleName(control, SpokenCaption(button->text()));
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            SetAccessibleName(control, SpokenCaption(box->title()));
        else if (auto* label = qobject_cast<QLabel*>(control); label && !label->text().isEmpty())
            SetAccessibleName(control, label->text());
    }
    // The lists are named by their labels.
    SetAccessibleName(GetDlgItem(IDC_PORT), static_cast<QLabel*>(GetDlgItem(IDC_LBL_PORT))->text());
    SetAccessibleName(GetDlgItem(IDC_BAUD), static_cast<QLabel*>(GetDlgItem(IDC_LBL_BAUD))->text());
    SetAccessibleName(GetDlgItem(IDC_DATA), Text(res::Text::AccData));
    SetAccessibleName(GetDlgItem(IDC_SEND_STATUS), Text(res::Text::AccSendStatus));
    SetAccessibleName(GetDlgItem(IDC_TIME_STATUS), Text(res::Text::AccTimeStatus));
    SetAccessibleName(GetDlgItem(IDC_LOGO), Text(res::Text::AccLogo));
    for (auto* box : findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        if (box->property("controlId").toInt() == IDC_STATIC)
            SetAccessibleName(box, Text(res::Text::AccStatusFrame));
    }

    const QString port = FromUtf8(m_core->ChosenPort());
    QString lamp;
    switch (m_core->State()) {
    case PanelCore::PortState::Open: lamp = Text(res::Text::AccPortOpen).arg(port); break;
    case PanelCore::PortState::Opening: lamp = Text(res::Text::AccPortOpening).arg(port); break;
    case PanelCore::PortState::NoneFound: lamp = Text(res::Text::PortNoneFound); break;
    case PanelCore::PortState::Disconnected: lamp = Text(res::Text::AccPortDisconnected).arg(port); break;
    case PanelCore::PortState::OpenFailed: lamp = Text(res::Text::AccPortClosed).arg(port); break;
    }
    SetAccessibleName(m_ctlPortIcon, lamp);
    const QString tip = m_core->PortTip();
    ui::SetAccessibleDescription(m_ctlPortIcon, tip);
    // The lists say what they show where a screen reader reads a list by its label alone:
    // the port with its state, as the lamp does, and the baud rate.
    ui::SetAccessibleDescription(GetDlgItem(IDC_PORT), tip.isEmpty() ? lamp : tip);
    ui::SetAccessibleDescription(GetDlgItem(IDC_BAUD), static_cast<QComboBox*>(GetDlgItem(IDC_BAUD))->currentText());
}

void CDisplayTestDlg::ShowStatusLineMenu(QWidget* line, const QPoint& pos)
{
    std::unique_ptr<QMenu> menu(static_cast<QLineEdit*>(line)->createStandardContextMenu());
    if (!m_sysMenu->isEmpty()) {
        menu->addSeparator();
        menu->addActions(m_sysMenu->actions());
    }
    // The About entry is the system menu's own action: chosen here, that menu reports it.
    menu->exec(line->mapToGlobal(pos));
}

void CDisplayTestDlg::ApplyLanguage()
{
    const res::Lang lang = CurrentLanguage();
    const res::Text autoCaptionNotShown = m_core->AutoRunning() ? res::Text::AutoDisplay : res::Text::AutoStop;
    for (const res::CaptionRow& row : res::CaptionTable()) {
        if (row.controlId != 0 && row.text != autoCaptionNotShown)
            SetDlgItemText(row.controlId, FromUtf8(lang == res::Lang::English ? row.english : row.chinese));
    }
}

void CDisplayTestDlg::OnSysCommand(unsigned nID)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX && m_core->Services().runAboutBox)
        m_core->Services().runAboutBox(this, CurrentLanguage());
}

void CDisplayTestDlg::done(int result)
{
    // The demonstration ends, a write under way is abandoned and the port released, at
    // once, also on a stalled line; a network port's open is abandoned too.
    delete m_networkDlg;
    m_core->Shutdown();
    QDialog::done(result);
}

void CDisplayTestDlg::keyPressEvent(QKeyEvent* event)
{
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
                       && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
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

bool CDisplayTestDlg::eventFilter(QObject* watched, QEvent* event)
{
    // A radio button's access key chooses it before the focus comes, so that a screen
    // reader says it chosen, as a click does.
    if (auto* radio = qobject_cast<QRadioButton*>(watched); radio && event->type() == QEvent::Shortcut) {
        radio->click();
        radio->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* radio = qobject_cast<QRadioButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (radio && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && MoveRadioChoice(radio, key->key()))
            return true;
    }
    if (event->type() == QEvent::ContextMenu && watched->isWidgetType()
        && !static_cast<QWidget*>(watched)->isEnabled()) {
        contextMenuEvent(static_cast<QContextMenuEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool CDisplayTestDlg::MoveRadioChoice(QRadioButton* radio, int key)
{
    int step = 0;
    if (key == Qt::Key_Down || key == Qt::Key_Right)
        step = 1;
    else if (key == Qt::Key_Up || key == Qt::Key_Left)
        step = -1;
    if (step == 0 || !radio->group())
        return false;
    const QList<QAbstractButton*> buttons = radio->group()->buttons();
    const qsizetype count = buttons.size();
    const qsizetype from = buttons.indexOf(radio);
    for (qsizetype i = 1; i < count; ++i) {
        QAbstractButton* next = buttons[(from + step * i + count * count) % count];
        if (!next->isEnabled() || next->isHidden())
            continue;
        // The choice moves with the focus, as a click makes it: the language changes at
        // once; a lamp is lit only by the next Send Data.
        if (!next->isChecked())
            next->click();
        next->setFocus(Qt::TabFocusReason);
        return true;
    }
    return true;
}

void CDisplayTestDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_sysMenu->isEmpty()) {
        event->ignore();
        return;
    }
    m_sysMenu->exec(event->globalPos());
}

bool CDisplayTestDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    // Only the entry the panel added; the window's own commands (move, close) go on.
    const unsigned command = SystemCommandOf(eventType, message);
    if ((command & 0xFFF0) != IDM_ABOUTBOX || !m_core->Services().runAboutBox)
        return QDialog::nativeEvent(eventType, message, result);
    // The modal box runs once the window has returned from the message.
    QMetaObject::invokeMethod(
        this, [this, command] { OnSysCommand(command); }, Qt::QueuedConnection);
    *result = 0;
    return true;
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

}  // namespace panel
