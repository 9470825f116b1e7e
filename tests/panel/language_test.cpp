// The language switch: the captions of the controls follow the radio pair, the
// panel starts in Chinese, and a running demonstration speaks the new language at its
// next step.

#include <QAccessible>
#include <QRegularExpression>
#include <QTest>

#include "tests/support/virtual_folder.h"

using namespace harness;

namespace {

// The caption of every control a language switch sets, written out here: a wrong entry
// in the panel's caption table must show. Auto display reads Stop while the demonstration runs.
struct CaptionRow {
    int id;
    const char* english;
    const char* chinese;
};
const CaptionRow kCaptions[] = {
    {IDC_LBL_PORT, "Serial Port", "端口"},       {IDC_LBL_BAUD, "Baud Rate", "波特率"},
    {IDC_GRP_SETTING, "Setting", "设置"},        {IDC_GRP_LANG, "Language", "语言"},
    {IDC_GRP_LAMP, "Light Status", "灯状态"},    {IDC_LAMP_OFF, "&1 All dark", "&1 全暗"},
    {IDC_LAMP_PRICE, "&2 Price", "&2 单价"},     {IDC_LAMP_TOTAL, "&3 Total", "&3 总计"},
    {IDC_LAMP_COLLECT, "&4 Collect", "&4 收款"}, {IDC_LAMP_CHANGE, "&5 Change", "&5 找零"},
    {IDC_SEND, "Send Data(&S)", "发送数据(&S)"}, {IDC_SCROLL, "Scrolling(&D)", "滚动(&D)"},
    {IDC_FLICKER, "Flickering(&F)", "闪烁(&F)"}, {IDC_AUTO, "Auto display(&A)", "自动演示(&A)"},
};

void CompareCaptions(const CDisplayTestDlg& dlg, bool english, bool running)
{
    for (const CaptionRow& row : kCaptions) {
        QWidget* control = dlg.GetDlgItem(row.id);
        QString shown;
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            shown = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            shown = box->title();
        else if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        if (row.id == IDC_AUTO && running)
            QCOMPARE(shown, english ? QStringLiteral("Stop(&T)") : QStringLiteral("停止(&T)"));
        else
            QCOMPARE(shown, QString::fromUtf8(english ? row.english : row.chinese));
    }
}

// What a screen reader reads for the widget. Qt gives a combo box its current entry as
// its name; the name given to it stands beside it, and its label through the buddy.
QString AccessibleName(QWidget* widget)
{
    if (qobject_cast<QComboBox*>(widget))
        return widget->accessibleName();
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

QWidget* StatusFrame(const CDisplayTestDlg& dlg)
{
    for (auto* box : dlg.findChildren<QGroupBox*>()) {
        if (box->title().isEmpty())
            return box;
    }
    return nullptr;
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void startsInChineseAndTheCaptionsFollowTheSwitch()
    {
        const PanelOnLine p;
        QVERIFY(Control<QRadioButton>(*p, IDC_LANG_CN)->isChecked());
        QVERIFY(!Control<QRadioButton>(*p, IDC_LANG_EN)->isChecked());
        CompareCaptions(*p, false, false);
        QCOMPARE(p->windowTitle(), QStringLiteral("Vandry Customer Display Test"));

        Click(*p, IDC_SCROLL);
        ChooseLanguage(*p, true);
        CompareCaptions(*p, true, false);
        // Left alone: the title, the language buttons, the status lines, the enabled state.
        QCOMPARE(p->windowTitle(), QStringLiteral("Vandry Customer Display Test"));
        QCOMPARE(Caption(*p, IDC_LANG_EN), QStringLiteral("English(&E)"));
        QCOMPARE(Caption(*p, IDC_LANG_CN), QStringLiteral("中文(&C)"));
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 滚动"));
        QCOMPARE(EnabledActions(*p), QStringLiteral("SDFA"));

        ChooseLanguage(*p, false);
        CompareCaptions(*p, false, false);
        ChooseLanguage(*p, false);  // the button already checked sets the same captions again
        CompareCaptions(*p, false, false);
    }

    void aSwitchWhileThePortIsClosedKeepsTheActionsDisabled()
    {
        const Panel p = MakePanel({});
        QCOMPARE(PortTip(*p), QStringLiteral("未找到串口"));
        QCOMPARE(AccessibleName(p->GetDlgItem(IDC_PORT_ICON)), QStringLiteral("未找到串口"));
        ChooseLanguage(*p, true);
        CompareCaptions(*p, true, false);
        QCOMPARE(EnabledActions(*p), QStringLiteral("----"));
        QCOMPARE(PortTip(*p), QStringLiteral("No serial port found"));
        QCOMPARE(AccessibleName(p->GetDlgItem(IDC_PORT_ICON)), QStringLiteral("No serial port found"));
    }

    // Every control has a name in the language of the panel; %1 stands for the port.
    void everyControlHasANameInTheLanguage_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        const auto row = [](const char* name, int id, const char* english, const char* chinese) {
            QTest::newRow(name) << id << QString::fromUtf8(english) << QString::fromUtf8(chinese);
        };
        // A control with a caption is named by it, without its access key.
        const auto spoken = [](const char* caption) {
            return QString::fromUtf8(caption).remove(QRegularExpression(QStringLiteral("\\(&.\\)$"))).remove(u'&');
        };
        for (const CaptionRow& r : kCaptions)
            QTest::newRow(r.english) << r.id << spoken(r.english) << spoken(r.chinese);
        row("port list", IDC_PORT, "Serial Port", "端口");
        row("baud list", IDC_BAUD, "Baud Rate", "波特率");
        row("data", IDC_DATA, "Data to show", "要显示的数据");
        row("upper status line", IDC_SEND_STATUS, "Send status", "发送状态");
        row("lower status line", IDC_TIME_STATUS, "Run time and hints", "用时和提示");
        row("status frame", IDC_STATIC, "Status", "状态");
        row("port lamp", IDC_PORT_ICON, "%1: open", "%1：已打开");
        row("logo", IDC_LOGO, "Vandry logo", "Vandry 标志");
        row("English", IDC_LANG_EN, "English", "English");
        row("Chinese", IDC_LANG_CN, "中文", "中文");
        row("window", 0, "Vandry Customer Display Test", "Vandry 客户显示屏测试");  // its title stays
    }
    void everyControlHasANameInTheLanguage()
    {
        QFETCH(int, id);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        const PanelOnLine p;
        QWidget* control = id == IDC_STATIC ? StatusFrame(*p) : id == 0 ? p.dlg.get() : p->GetDlgItem(id);
        QVERIFY(control);
        const QString port = QString::fromStdString(p.line.path());
        chinese.replace(QStringLiteral("%1"), port);
        QCOMPARE(AccessibleName(control), chinese);
        ChooseLanguage(*p, true);
        QCOMPARE(AccessibleName(control), english.replace(QStringLiteral("%1"), port));
        ChooseLanguage(*p, false);
        QCOMPARE(AccessibleName(control), chinese);
    }

    void theListsHaveTheirLabelsAsBuddies()
    {
        const PanelOnLine p;
        for (const auto& [label, list] : {std::pair{IDC_LBL_PORT, IDC_PORT}, std::pair{IDC_LBL_BAUD, IDC_BAUD}}) {
            QCOMPARE(Control<QLabel>(*p, label)->buddy(), p->GetDlgItem(list));
            // A screen reader finds the label as the list's, beside the group box around both.
            QObjectList labels;
            for (const auto& [face, relation] :
                 QAccessible::queryAccessibleInterface(p->GetDlgItem(list))->relations(QAccessible::Label))
                labels << face->object();
            QCOMPARE(labels, (QObjectList{p->GetDlgItem(label), p->GetDlgItem(IDC_GRP_SETTING)}));
        }
    }

    void aSwitchDuringARunTakesEffectAtTheNextStep()
    {
        const PanelOnLine p;
        Click(*p, IDC_AUTO);
        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));

        QCOMPARE(AccessibleName(p->GetDlgItem(IDC_AUTO)), QStringLiteral("停止"));  // the name follows the caption
        ChooseLanguage(*p, true);
        CompareCaptions(*p, true, true);
        QCOMPARE(AccessibleName(p->GetDlgItem(IDC_AUTO)), QStringLiteral("Stop"));
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));  // until the next step

        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send:    0"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("Runtime: 0:0:2"));

        // Back to Chinese while it runs, then a stop and a start made in English.
        ChooseLanguage(*p, false);
        CompareCaptions(*p, false, true);
        Click(*p, IDC_AUTO);
        CompareCaptions(*p, false, false);
        QCOMPARE(EnabledActions(*p), QStringLiteral("SDFA"));
        ChooseLanguage(*p, true);
        Click(*p, IDC_AUTO);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("Stop(&T)"));
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
