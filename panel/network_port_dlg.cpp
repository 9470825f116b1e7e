#include "panel/network_port_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "common/announcer.h"
#include "panel/dialog_builder.h"
#include "serial/network_name.h"

namespace panel {
namespace {

// A port on a device server that serves its first serial port on the network.
constexpr const char* kUsualPort = "4001";

}  // namespace

NetworkPortDlg::NetworkPortDlg(res::Lang lang, QWidget* parent) : QDialog(parent), m_lang(lang)
{
    setWindowTitle(Text(res::Text::NetTitle));
    ui::SetAccessibleName(this, Text(res::Text::NetTitle));

    m_kind = new QComboBox(this);
    m_kind->addItem(Text(res::Text::NetKindRfc2217));
    m_kind->addItem(Text(res::Text::NetKindRawTcp));
    m_host = new QLineEdit(this);
    m_port = new QLineEdit(QString::fromLatin1(kUsualPort), this);
    // Digits only; the range is checked with the rest, so that 0 or 70000 says why.
    m_port->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_port));
    m_why = new QLabel(this);
    // The line keeps its room while it is hidden, so that the dialog does not jump.
    QSizePolicy keepRoom = m_why->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_why->setSizePolicy(keepRoom);

    auto* form = new QFormLayout;
    const std::pair<res::Text, QWidget*> rows[] = {
        {res::Text::NetKind, m_kind}, {res::Text::NetHost, m_host}, {res::Text::NetPort, m_port}};
    for (const auto& [caption, field] : rows) {
        auto* label = new QLabel(Text(caption), this);
        label->setBuddy(field);
        form->addRow(label, field);
        // A field is named by its label, as a screen reader reads the label beside it.
        ui::SetAccessibleName(field, SpokenCaption(label->text()));
    }
    m_host->setMinimumWidth(m_host->fontMetrics().horizontalAdvance(QLatin1Char('m')) * 20);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(Text(res::Text::NetOk), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(Text(res::Text::NetCancel), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    ui::SetAccessibleName(m_ok, m_ok->text());
    ui::SetAccessibleName(cancel, cancel->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_why);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &NetworkPortDlg::Check);
    connect(m_host, &QLineEdit::textChanged, this, &NetworkPortDlg::Check);
    connect(m_port, &QLineEdit::textChanged, this, &NetworkPortDlg::Check);
    m_host->setFocus();
    Check();
}

QString NetworkPortDlg::Why() const
{
    return m_why->text();
}

void NetworkPortDlg::Check()
{
    // An IPv6 address may be typed as it is: its brackets are the name's, not the user's.
    QString host = m_host->text().trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const QString scheme = QLatin1String(m_kind->currentIndex() == 0 ? "rfc2217://" : "tcp://");
    const auto parsed = [&](const QString& port) {
        return serial::ParseNetworkName((scheme + host + QLatin1Char(':') + port).toStdString(), nullptr);
    };
    const std::optional<serial::NetworkPort> port = parsed(m_port->text());
    m_name = port ? serial::NetworkName(*port) : std::string();
    QString why;
    if (host.isEmpty())
        why = Text(res::Text::NetNoHost);
    else if (!port)
        why = Text(parsed(QStringLiteral("1")) ? res::Text::NetBadPort : res::Text::NetBadHost);
    m_why->setText(why);
    m_why->setHidden(why.isEmpty());
    ui::SetAccessibleName(m_why, why);
    m_ok->setEnabled(port.has_value());
}

QString NetworkPortDlg::Text(res::Text text) const
{
    const std::string_view caption = res::Caption(text, m_lang);
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

}  // namespace panel
