#pragma once
// The test panel: the one window of the program. It binds the controls of dialog template
// IDD_TEST_PANEL to the panel's logic (PanelCore), which holds the port, the status texts
// and the demonstration; the window only shows that state and forwards the user's actions.

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "panel/network_port_dlg.h"
#include "panel/panel_core.h"
#include "resources/captions.h"

class QLabel;
class QMenu;
class QRadioButton;

namespace ui {
class Announcer;
}

namespace panel {

class CDisplayTestDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDisplayTestDlg(PanelServices services = {}, QWidget* parent = nullptr);
    ~CDisplayTestDlg() override;

    // The control with the id, or nullptr.
    QWidget* GetDlgItem(int id) const;

    // The panel's logic behind the window.
    PanelCore& Core() const { return *m_core; }
    // The network port dialog while it is open over the panel, or nullptr.
    NetworkPortDlg* NetworkDialog() const { return m_networkDlg; }

    // Ends the dialog; a running demonstration ends with it.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Where the window has a system menu of its own (Windows), its About entry.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct MessageMapEntry;
    static const MessageMapEntry kMessageMap[];
    template <void (CDisplayTestDlg::*Handler)()>
    static void Call(CDisplayTestDlg& dlg, unsigned)
    {
        (dlg.*Handler)();
    }
    template <void (CDisplayTestDlg::*Handler)(unsigned)>
    static void CallWithId(CDisplayTestDlg& dlg, unsigned id)
    {
        (dlg.*Handler)(id);
    }
    void BindMessageMap();

    // Window set-up and data exchange.
    void OnInitDialog();
    void DoDataExchange(bool saveAndValidate);
    bool UpdateData(bool saveAndValidate = true);

    // The port list and the state of the port, the buttons and the status lines, as
    // the core has them.
    void FillPortList();
    void UpdateControlStates();

    // Handlers.
    void OnSelchangePort();
    // The port list's last entry: the network port dialog, window-modal over the panel;
    // its port joins the list and is opened, or Cancel shows the port chosen before.
    void OnNetworkPort();
    void OnNetworkPortDone(int result);
    void OnSelchangeBaud();
    void OnSendData();
    void OnScrolling();
    void OnFlickering();
    void OnAutoDisplay();
    void OnLanguage();
    void ApplyLanguage();
    // The names a screen reader reads, in the checked language: each control's caption as
    // shown, or a name of its own where it has none; the port lamp's says the port's state.
    void ApplyAccessibleNames();
    // Says once what a sighted user sees change: the port's state with its reason, the
    // start and the stop of the demonstration, the result of an action.
    void AnnounceChanges();
    QString SpokenPortState() const;
    // An arrow key on a radio button moves the choice within its group, as in a Windows
    // dialog: to the next or the previous button, round at the ends.
    bool MoveRadioChoice(QRadioButton* radio, int key);
    // The status lines' own menu (Copy...), with the About entry below it.
    void ShowStatusLineMenu(QWidget* line, const QPoint& pos);
    void OnSysCommand(unsigned nID);

    // The handlers reach controls by id through these, so that each handler reads as the
    // dialog's behaviour rather than as widget calls.
    int GetCheckedRadioButton(int firstId, int lastId) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    void SetDlgItemText(int id, const QString& text);
    void EnableDlgItem(int id, bool enable);

    // The language of the radio pair, read afresh each time; a text in it.
    res::Lang CurrentLanguage() const;
    QString Text(res::Text text) const;

    QLabel* m_ctlPortIcon = nullptr;
    QString m_strBaud = QString::number(protocol::kDefaultBaud);
    QString m_strTimeStatus;
    QString m_strSendStatus;
    int m_nPort = 1;
    QString m_strInterval = QStringLiteral("1000");
    QString m_strData = QStringLiteral("8.8.8.8.8.8.8.8.");
    QIcon m_appIcon;
    // The port lamp's two pictures, made once: an icon made afresh at every change would
    // leave its pixmaps in Qt's pixmap cache, which grows with each reconnection.
    QIcon m_portOpenIcon;
    QIcon m_portClosedIcon;

    // The chosen list entry; m_nPort is its number.
    std::string m_strPortName;

    std::unique_ptr<PanelCore> m_core;
    std::map<int, QWidget*> m_controls;
    QMenu* m_sysMenu = nullptr;  // the About entry on a right click, on every platform
    QPointer<NetworkPortDlg> m_networkDlg;

    // What was last told a screen reader, to tell it only what changed since.
    ui::Announcer* m_announcer = nullptr;
    PanelCore::PortState m_heardState = PanelCore::PortState::Opening;
    std::string m_heardPort;
    bool m_heardRunning = false;
    QString m_heardUpper;
};

}  // namespace panel
