#pragma once
// The test panel: the one window of the program. It holds the run-time state, binds it to
// the controls of dialog template IDD_TEST_PANEL, connects the chosen serial port and sends
// every display command through SendHex.

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "resources/captions.h"
#include "serial/serial_port.h"

class QLabel;

namespace panel {

// What the panel takes from its surroundings; tests replace each of them.
struct PanelServices {
    // The port list entries, in the order the port combo shows them.
    // Unset: the serial ports of the machine.
    std::function<std::vector<std::string>()> listPorts;
};

class CDisplayTestDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDisplayTestDlg(PanelServices services = {}, QWidget* parent = nullptr);
    ~CDisplayTestDlg() override;

    // The control with the id, or nullptr.
    QWidget* GetDlgItem(int id) const;

private:
    struct MessageMapEntry;
    static const MessageMapEntry kMessageMap[];
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

    // Stand-ins for the dialog calls the handlers are written in.
    int GetCheckedRadioButton(int firstId, int lastId) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    void SetDlgItemText(int id, const QString& text);
    void EnableDlgItem(int id, bool enable);

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
    QIcon m_hIcon;
    bool m_bAutoRunning = false;
    bool m_bPortOpen = false;

    // The selected list entry, which Open takes; m_nPort is its number.
    std::string m_strPortName;

    PanelServices m_services;
    std::map<int, QWidget*> m_controls;
};

}  // namespace panel
