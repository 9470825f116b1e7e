#pragma once
// The small dialog behind the port list's last entry: the kind of a display on the network
// (RFC 2217, or raw TCP at the device server's own rate), its host and its port number,
// checked as they are typed. OK stays disabled, with a line saying why, until the three
// make a port name the serial layer takes.

#include <QDialog>
#include <string>

#include "resources/captions.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace panel {

class NetworkPortDlg : public QDialog {
    Q_OBJECT
public:
    // In the panel's language, over the panel.
    NetworkPortDlg(res::Lang lang, QWidget* parent);

    // The port the fields name, in its one form ("rfc2217://10.0.0.7:4001"); empty while
    // they name none.
    const std::string& PortName() const { return m_name; }

    QComboBox* KindBox() const { return m_kind; }
    QLineEdit* HostEdit() const { return m_host; }
    QLineEdit* PortEdit() const { return m_port; }
    QPushButton* OkButton() const { return m_ok; }
    // Why OK is disabled; empty once it is not.
    QString Why() const;

private:
    void Check();
    QString Text(res::Text text) const;

    res::Lang m_lang;
    QComboBox* m_kind = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_why = nullptr;
    QPushButton* m_ok = nullptr;
    std::string m_name;
};

}  // namespace panel
