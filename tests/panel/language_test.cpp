// The language switch: the captions of the controls follow the radio pair, the
// panel starts in Chinese, and a running demonstration speaks the new language at its
// next step.

#include <QTest>

#include "tests/support/virtual_folder.h"

using namespace harness;

namespace {

// The caption of every control a language switch sets, written out here: a wrong entry
// in the panel's caption table must show.
void CompareCaptions(const CDisplayTestDlg& dlg, bool english, bool running)
{
    const struct {
        int id;
        const char* english;
        const char* chinese;
    } rows[] = {
        {IDC_LBL_PORT, "Serial Port", "端口"},           {IDC_LBL_BAUD, "Baud Rate", "波特率"},
        {IDC_GRP_SETTING, "Setting", "设置"},            {IDC_GRP_LANG, "Language", "语言"},
        {IDC_GRP_LAMP, "Light Status", "灯状态"},        {IDC_LAMP_OFF, "&1 All dark", "&1 全暗"},
        {IDC_LAMP_PRICE, "&2 Price", "&2 单价"},         {IDC_LAMP_TOTAL, "&3 Total", "&3 总计"},
        {IDC_LAMP_COLLECT, "&4 Collect", "&4 收款"},     {IDC_LAMP_CHANGE, "&5 Change", "&5 找零"},
        {IDC_SEND, "Send Data(&S)", "发送数据(&S)"},     {IDC_SCROLL, "Scrolling(&D)", "滚动(&D)"},
        {IDC_FLICKER, "Flickering(&F)", "闪烁(&F)"},
        {IDC_AUTO, running ? "Stop(&T)" : "Auto display(&A)", running ? "停止(&T)" : "自动演示(&A)"},
    };
    for (const auto& row : rows) {
        QWidget* control = dlg.GetDlgItem(row.id);
        QString shown;
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            shown = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            shown = box->title();
        else if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        QCOMPARE(shown, QString::fromUtf8(english ? row.english : row.chinese));
    }
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
        ChooseLanguage(*p, true);
        CompareCaptions(*p, true, false);
        QCOMPARE(EnabledActions(*p), QStringLiteral("----"));
        QCOMPARE(PortTip(*p), QStringLiteral("No serial port found"));
    }

    void aSwitchDuringARunTakesEffectAtTheNextStep()
    {
        const PanelOnLine p;
        Click(*p, IDC_AUTO);
        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));

        ChooseLanguage(*p, true);
        CompareCaptions(*p, true, true);
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
