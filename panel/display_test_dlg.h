#pragma once
// The test panel: the one window of the program. It holds the run-time state, binds it to
// the controls of dialog template IDD_TEST_PANEL, connects the chosen serial port and sends
// every display command through SendHex.

#include <QDialog>
#include <QIcon>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "panel/step_timer.h"
#include "resources/captions.h"
#include "serial/serial_port.h"

class QLabel;
class QMenu;

namespace panel {

// What the panel takes from its surroundings; tests replace each of them.
struct PanelServices {
    // The port list entries, in the order the port combo shows them.
    // Unset: the serial ports of the machine.
    std::function<std::vector<std::string>()> listPorts;
    // The monotonic clock of the demonstration's run time. Unset: std::chrono::steady_clock.
    std::function<std::chrono::steady_clock::time_point()> now;
    // The timer of the demonstration. Unset: a PreciseStepTimer.
    std::unique_ptr<StepTimer> timer;
    // Shows the About box modally over the panel, in the panel's language. Unset: the
    // panel offers no About entry.
    std::function<void(QWidget* parent, res::Lang lang)> runAboutBox;
};

class CDisplayTestDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDisplayTestDlg(PanelServices services = {}, QWidget* parent = nullptr);
    ~CDisplayTestDlg() override;

    // The control with the id, or nullptr.
    QWidget* GetDlgItem(int id) const;

    // Ends the dialog; a running demonstration ends with it.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

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

    // The port.
    void FillPortList();
    void ConnectPort();
    void UpdateControlStates();
    void TakePortFromSelection();
    QString PortStateTip() const;

    // The one road to the port. Returns the port's result, 0 when the bytes went out.
    std::uint32_t SendHex(std::string_view hex);

    // Handlers.
    void OnSelchangePort();
    void OnSelchangeBaud();
    void OnSendData();
    void OnScrolling();
    void OnFlickering();
    void OnAutoDisplay();
    void OnTimer(unsigned nIDEvent);
    void OnLanguage();
    void ApplyLanguage();
    void OnSysCommand(unsigned nID);

    // Stand-ins for the dialog calls the handlers are written in.
    int GetCheckedRadioButton(int firstId, int lastId) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    void SetDlgItemText(int id, const QString& text);
    void EnableDlgItem(int id, bool enable);
    void SetTimer(unsigned nIDEvent, int elapseMs);
    void KillTimer(unsigned nIDEvent);

    // The language of the radio pair, read afresh each time; a text in it.
    res::Lang CurrentLanguage() const;
    QString Text(res::Text text) const;
    // The status text of a manual action: its own when the write succeeded.
    QString SendStatus(std::uint32_t writeResult, res::Text success) const;

    serial::CSerialPort m_port;
    QLabel* m_ctlPortIcon = nullptr;
    QString m_strBaud = QStringLiteral("2400");
    QString m_strTimeStatus;
    QString m_strSendStatus;
    int m_nPort = 1;
    QString m_strInterval = QStringLiteral("1000");
    QString m_strData = QStringLiteral("8.8.8.8.8.8.8.8.");
    int m_nStep = 1;
    std::chrono::steady_clock::time_point m_timeStart;
    std::chrono::steady_clock::time_point m_timeNow;
    QIcon m_hIcon;
    bool m_bAutoRunning = false;
    bool m_bPortOpen = false;

    // The selected list entry, which Open takes; m_nPort is its number.
    std::string m_strPortName;

    PanelServices m_services;
    std::map<int, QWidget*> m_controls;
    QMenu* m_sysMenu = nullptr;  // offered on a right click, in place of a system menu
};

}  // namespace panel
