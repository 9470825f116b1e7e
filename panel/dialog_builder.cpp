#include "panel/dialog_builder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "resources/captions.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace panel {
namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Every caption a control may show: its template caption and, in both languages, each
// caption a language switch or the demonstration gives it.
std::vector<QString> CaptionsOf(const res::DialogControl& control)
{
    std::vector<QString> captions;
    auto add = [&](res::Text text) {
        captions.push_back(FromUtf8(res::Caption(text, res::Lang::English)));
        captions.push_back(FromUtf8(res::Caption(text, res::Lang::Chinese)));
    };
    if (control.caption)
        add(*control.caption);
    if (control.id != IDC_STATIC) {
        for (const res::CaptionRow& row : res::CaptionTable()) {
            if (row.controlId == control.id)
                add(row.text);
        }
    }
    return captions;
}

// The width a widget asks for while it shows the caption; it shows what it showed before.
template <class Widget>
int HintedWidth(Widget* widget, QString (Widget::*get)() const, void (Widget::*set)(const QString&),
                QSize (Widget::*hint)() const, const QString& caption)
{
    const QString saved = (widget->*get)();
    (widget->*set)(caption);
    const int width = (widget->*hint)().width();
    (widget->*set)(saved);
    return width;
}

// The width in pixels the control needs to show the caption uncut.
int WidthNeeded(QWidget* widget, res::ControlKind kind, const QString& caption)
{
    switch (kind) {
    case res::ControlKind::AutoRadio:
        return HintedWidth<QAbstractButton>(static_cast<QRadioButton*>(widget), &QAbstractButton::text,
                                            &QAbstractButton::setText, &QWidget::sizeHint, caption);
    case res::ControlKind::PushButton: {
        // The style's own size hint rounds short buttons up to a minimum width; only the
        // room around the text matters here.
        auto* button = static_cast<QPushButton*>(widget);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption;
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        const QFontMetrics fm(button->font());
        const QSize wide(1000, fm.height());
        const int around =
            button->style()->sizeFromContents(QStyle::CT_PushButton, &option, wide, button).width() - wide.width();
        return fm.horizontalAdvance(WithoutAccessKeys(caption)) + around;
    }
    case res::ControlKind::Static: return QFontMetrics(widget->font()).horizontalAdvance(caption);
    case res::ControlKind::GroupBox:
        return HintedWidth<QGroupBox>(static_cast<QGroupBox*>(widget), &QGroupBox::title, &QGroupBox::setTitle,
                                      &QWidget::minimumSizeHint, caption);
    default: return 0;
    }
}

QWidget* CreateControl(QDialog& dialog, const res::DialogControl& control)
{
    const QString caption = control.caption ? FromUtf8(res::Caption(*control.caption, res::Lang::English)) : QString();
    switch (control.kind) {
    case res::ControlKind::DropListCombo: {
        auto* combo = new QComboBox(&dialog);
        for (std::string_view item : control.initialItems)
            combo->addItem(FromUtf8(item));
        // The template's height is that of the open list.
        combo->setMaxVisibleItems(std::max(1, (control.cy - 14) / 8));
        return combo;
    }
    case res::ControlKind::AutoRadio: {
        // Exclusive within its group (BuildDialog), and so a radio button to a screen
        // reader, not a check box.
        return new QRadioButton(caption, &dialog);
    }
    case res::ControlKind::Edit: {
        auto* edit = new QLineEdit(&dialog);
        edit->setReadOnly(control.style & res::kReadOnly);
        edit->setFrame(!(control.style & res::kNoBorder));
        edit->setAlignment((control.style & res::kCentre) ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        if (control.style & res::kReadOnly) {
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, Qt::transparent);  // the face of the dialog shows through
            edit->setPalette(palette);
        }
        return edit;
    }
    case res::ControlKind::PushButton: {
        // No push button is the default one: the dialog decides what Enter does.
        auto* button = new QPushButton(caption, &dialog);
        button->setAutoDefault(false);
        return button;
    }
    case res::ControlKind::Static: {
        auto* label = new QLabel(caption, &dialog);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case res::ControlKind::GroupBox: return new QGroupBox(caption, &dialog);
    case res::ControlKind::IconStatic: {
        auto* label = new QLabel(&dialog);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const int size = dialog.style()->pixelMetric(QStyle::PM_LargeIconSize);
        label->setPixmap(res::LoadIcon(control.icon).pixmap(size, size));
        label->setProperty("iconId", control.icon);
        return label;
    }
    }
    return nullptr;
}

}  // namespace

QString SpokenCaption(QString caption)
{
    static const QRegularExpression trailing(QStringLiteral("(\\(&[^&]\\))?[:：]?$"));
    caption.remove(trailing);
    return WithoutAccessKeys(caption);
}

QString WithoutAccessKeys(const QString& caption)
{
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    return shown;
}

DialogUnits FontBaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    // As GdiGetCharDimensions: the width of the 52 Latin letters, halved and rounded.
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2;

    QTextLayout layout(QStringLiteral("端口波特率"), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const double chineseLine = std::ceil(line.height());

    return DialogUnits{static_cast<double>(baseX), std::max<double>(fm.height(), chineseLine)};
}

QRect MapDialogRect(const DialogUnits& units, int x, int y, int cx, int cy)
{
    // Each edge maps on its own, as MapDialogRect does.
    const auto mapX = [&](int v) { return static_cast<int>(std::lround(v * units.baseX / 4)); };
    const auto mapY = [&](int v) { return static_cast<int>(std::lround(v * units.baseY / 8)); };
    return QRect(QPoint(mapX(x), mapY(y)), QPoint(mapX(x + cx) - 1, mapY(y + cy) - 1));
}

QFont TemplateFont(const res::DialogTemplate& tpl)
{
    // A face the machine does not have (the dialog-font alias "MS Shell Dlg" has none behind
    // it on most systems) would leave the choice to the font matcher, whose first pick may
    // be a math font that draws Latin text above the line; the system's font is the dialog
    // font there.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const QString face = FromUtf8(tpl.fontFace);
    if (tpl.fontFace != "System" && QFontDatabase::hasFamily(face))
        font.setFamily(face);
    font.setPointSize(tpl.pointSize);
    return font;
}

BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tpl)
{
    BuiltDialog built;
    dialog.setFont(TemplateFont(tpl));
    dialog.setWindowTitle(FromUtf8(res::Caption(tpl.caption, res::Lang::English)));
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint);

    std::vector<QWidget*> widgets;
    std::vector<QWidget*> tabStops;
    QButtonGroup* group = nullptr;
    for (const res::DialogControl& control : tpl.controls) {
        QWidget* widget = CreateControl(dialog, control);
        widgets.push_back(widget);
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QString::fromLatin1(ControlSymbol(control.id)));
            built.controls[control.id] = widget;
        }
        widget->setProperty("controlId", control.id);

        if (control.style & res::kGroup)
            group = nullptr;
        if (control.kind == res::ControlKind::AutoRadio) {
            if (!group) {
                group = new QButtonGroup(&dialog);
                group->setExclusive(true);
            }
            group->addButton(static_cast<QRadioButton*>(widget), control.id);
        }

        if (control.style & res::kTabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            tabStops.push_back(widget);
        } else if (control.kind == res::ControlKind::Edit) {
            widget->setFocusPolicy(Qt::ClickFocus);  // text can still be selected and copied
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
    }
    for (std::size_t i = 1; i < tabStops.size(); ++i)
        QWidget::setTabOrder(tabStops[i - 1], tabStops[i]);

    DialogUnits units = FontBaseUnits(dialog.font());
    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
        const res::DialogControl& control = tpl.controls[i];
        for (const QString& caption : CaptionsOf(control)) {
            // One pixel to spare: the edges of a control round on their own.
            const int needed = WidthNeeded(widgets[i], control.kind, caption) + 1;
            units.baseX = std::max(units.baseX, needed * 4.0 / control.cx);
        }
    }

    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
        const res::DialogControl& control = tpl.controls[i];
        QRect rect = MapDialogRect(units, control.x, control.y, control.cx, control.cy);
        if (control.kind == res::ControlKind::DropListCombo)
            rect.setHeight(widgets[i]->sizeHint().height());  // closed, it is one line high
        widgets[i]->setGeometry(rect);
    }

    // Each control goes into the group box drawn around it, so that a screen reader names
    // the group on entering it; it stays where it is drawn.
    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
        QWidget* box = nullptr;
        for (std::size_t j = 0; j < tpl.controls.size(); ++j) {
            if (j != i && tpl.controls[j].kind == res::ControlKind::GroupBox
                && widgets[j]->geometry().contains(widgets[i]->geometry())
                && (!box || box->geometry().contains(widgets[j]->geometry())))
                box = widgets[j];
        }
        if (box) {
            const QRect rect = widgets[i]->geometry();
            widgets[i]->setParent(box);
            widgets[i]->setGeometry(rect.translated(-box->pos()));
        }
    }

    const QRect client = MapDialogRect(units, 0, 0, tpl.cx, tpl.cy);
    dialog.setFixedSize(client.size());
    return built;
}

}  // namespace panel
