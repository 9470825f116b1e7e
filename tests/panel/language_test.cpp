// The language switch: the captions of the caption table follow the radio pair, the
// panel starts in Chinese, and a running demonstration speaks the new language at its
// next step.

#include <QTest>

#include "tests/support/panel_harness.h"
#include "resources/captions.h"

using namespace harness;

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The caption of every control a language switch sets, as the panel shows it now.
void CompareCaptions(const CDisplayTestDlg& dlg, res::Lang lang, bool running)
{
    for (const res::CaptionRow& row : res::CaptionTable()) {
        if (row.controlId == 0 || row.text == (running ? res::Text::AutoDisplay : res::Text::AutoStop))
            continue;
        QWidget* control = dlg.GetDlgItem(row.controlId);
        QString shown;
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            shown = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            shown = box->title();
        else if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        QCOMPARE(shown, FromUtf8(lang == res::Lang::English ? row.english : row.chinese));
    }
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void startsInChinese()
    {
        PtyPair line;
        const Panel p = MakePanel({line.path()});
        QVERIFY(Control<QRadioButton>(*p, IDC_LANG_CN)->isChecked());
        QVERIFY(!Control<QRadioButton>(*p, IDC_LANG_EN)->isChecked());
        CompareCaptions(*p, res::Lang::Chinese, false);
        QCOMPARE(p->windowTitle(), QStringLiteral("Vandry Customer Display Test"));
    }

    void theCaptionsFollowTheSwitch()
    {
        PtyPair line;
        const Panel p = MakePanel({line.path()});
        Click(*p, IDC_SCROLL);
        ChooseLanguage(*p, true);
        CompareCaptions(*p, res::Lang::English, false);
        // Left alone: the title, the language buttons, the status lines, the enabled state.
        QCOMPARE(p->windowTitle(), QStringLiteral("Vandry Customer Display Test"));
        QCOMPARE(Caption(*p, IDC_LANG_EN), QStringLiteral("English(&E)"));
        QCOMPARE(Caption(*p, IDC_LANG_CN), QStringLiteral("中文(&C)"));
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 滚动"));
        QCOMPARE(EnabledActions(*p), QStringLiteral("SDFA"));

        ChooseLanguage(*p, false);
        CompareCaptions(*p, res::Lang::Chinese, false);
        ChooseLanguage(*p, false);  // the button already checked sets the same captions again
        CompareCaptions(*p, res::Lang::Chinese, false);
    }

    void aSwitchWhileThePortIsClosedKeepsTheActionsDisabled()
    {
        const Panel p = MakePanel({});
        QCOMPARE(PortTip(*p), QStringLiteral("未找到串口"));
        ChooseLanguage(*p, true);
        CompareCaptions(*p, res::Lang::English, false);
        QCOMPARE(EnabledActions(*p), QStringLiteral("----"));
        QCOMPARE(PortTip(*p), QStringLiteral("No serial port found"));
    }

    void aSwitchDuringARunTakesEffectAtTheNextStep()
    {
        PtyPair line;
        const Panel p = MakePanel({line.path()});
        Click(*p, IDC_AUTO);
        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));

        ChooseLanguage(*p, true);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("Stop(&T)"));
        CompareCaptions(*p, res::Lang::English, true);
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));  // until the next step

        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send:    0"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("Runtime: 0:0:2"));
    }

    void aSwitchToChineseDuringARunThenAStop()
    {
        PtyPair line;
        const Panel p = MakePanel({line.path()});
        ChooseLanguage(*p, true);
        Click(*p, IDC_AUTO);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("Stop(&T)"));
        ChooseLanguage(*p, false);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("停止(&T)"));
        Click(*p, IDC_AUTO);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("自动演示(&A)"));
        QCOMPARE(EnabledActions(*p), QStringLiteral("SDFA"));
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
