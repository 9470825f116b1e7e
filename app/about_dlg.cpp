#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace app {
namespace {

QString Text(res::Text text, res::Lang lang)
{
    const std::string_view caption = res::Caption(text, lang);
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

}  // namespace

CAboutDlg::CAboutDlg(res::Lang lang, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(Text(res::Text::AboutTitle, lang));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    icon->setPixmap(res::LoadIcon(IDR_MAINFRAME).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(Text(res::Text::WindowTitle, lang), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* version = new QLabel(Text(res::Text::AboutVersion, lang).arg(QStringLiteral(DISPLAYTEST_VERSION)), this);
    version->setObjectName(QStringLiteral("version"));
    auto* purpose = new QLabel(Text(res::Text::AboutPurpose, lang), this);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(purpose);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Text(res::Text::AboutClose, lang), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace app
