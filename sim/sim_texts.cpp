#include "sim/sim_texts.h"

#include <QLocale>
#include <QStringList>

#include <array>
#include <cstring>
#include <utility>

#include "sim/rendering.h"

namespace sim {

Language DesktopLanguage()
{
    return QLocale::system().language() == QLocale::Chinese ? Language::Chinese : Language::English;
}

QString Text(SimText text, Language lang)
{
    // English, Chinese; in the order of SimText.
    static const std::array<std::pair<const char*, const char*>, 24> kTexts = {{
        {"Virtual Customer Display — %1", "虚拟客户显示屏 — %1"},
        {"Listening on %1", "正在监听 %1"},
        {"Received messages appear here, in hexadecimal.", "收到的消息以十六进制显示在这里。"},
        {"Sender's line: %1", "发送方线路：%1"},
        {" — a display at %1 would show garbage", "，以 %1 读取的显示屏会显示乱码"},
        {"sender at %1: a display at %2 would show garbage", "发送方 %1：以 %2 读取的显示屏会显示乱码"},
        {"; not shown", "，不予显示"},
        {" ... (%1 bytes)", " ……（共 %1 字节）"},
        {" ... (%1 commands)", " ……（共 %1 条命令）"},
        {"the line was closed", "线路已关闭"},
        {"Price", "单价"},
        {"Total", "总计"},
        {"Collect", "收款"},
        {"Change", "找零"},
        // A pipe has no line settings, and Windows shows the display those of no other
        // line: the user learns what to set on the sender instead.
        {"Sender's line: not visible on Windows; this display reads %1",
         "发送方线路：Windows 上无法得知；本显示屏按 %1 读取"},
        {"Blank", "空白"},
        {"Shows %1", "显示 %1"},
        {", scrolling", "，滚动中"},
        {", flickering", "，闪烁中"},
        {"; lit: %1", "；亮灯：%1"},
        {"; lamps dark", "；灯全暗"},
        {"Received messages", "收到的消息"},
        // Raw TCP carries only the bytes; the device server's line is set on the server.
        {"Sender's line: not visible over raw TCP; this display reads %1",
         "发送方线路：原始 TCP 无法得知；本显示屏按 %1 读取"},
        {"Any machine that reaches %1 can drive this display", "任何能访问 %1 的计算机都能控制本显示屏"},
    }};
    const auto& [english, chinese] = kTexts.at(static_cast<std::size_t>(text));
    return QString::fromUtf8(lang == Language::English ? english : chinese);
}

QString FaceText(const DisplayState& state, Language lang)
{
    // The whole text while it scrolls, not the part in sight at the moment.
    const QString shown =
        QString::fromStdString(state.mode == Mode::Scrolling ? CellsText(state.scrollText) : CellsText(state.cells))
            .trimmed();
    QString text = shown.isEmpty() ? Text(SimText::FaceBlank, lang) : Text(SimText::FaceShows, lang).arg(shown);
    if (state.mode == Mode::Scrolling)
        text += Text(SimText::FaceScrolling, lang);
    else if (state.mode == Mode::Flickering)
        text += Text(SimText::FaceFlickering, lang);
    static constexpr SimText kLamps[kLampCount] = {SimText::LampPrice, SimText::LampTotal, SimText::LampCollect,
                                                   SimText::LampChange};
    QStringList lit;
    for (int k = 0; k < kLampCount; ++k) {
        if (state.lamps[static_cast<std::size_t>(k)])
            lit << Text(kLamps[k], lang);
    }
    if (lit.isEmpty())
        return text + Text(SimText::FaceDark, lang);
    return text
           + Text(SimText::FaceLit, lang)
                 .arg(lit.join(lang == Language::English ? QStringLiteral(", ") : QStringLiteral("、")));
}

QString CommandText(const QString& english, Language lang)
{
    if (lang == Language::English)
        return english;
    static const std::array<std::pair<const char*, const char*>, 5> kWords = {{
        {"Clear", "清屏"},
        {"Cancel", "取消"},
        {"Initialise", "初始化"},
        {"Lamps dark", "灯全暗"},
        {"Flicker", "闪烁"},
    }};
    for (const auto& [en, zh] : kWords) {
        if (english == QLatin1String(en))
            return QString::fromUtf8(zh);
    }
    static const std::array<std::pair<const char*, SimText>, 4> kLamps = {{
        {"Price", SimText::LampPrice},
        {"Total", SimText::LampTotal},
        {"Collect", SimText::LampCollect},
        {"Change", SimText::LampChange},
    }};
    for (const auto& [en, text] : kLamps) {
        if (english == QStringLiteral("Lamp ") + QLatin1String(en))
            return QStringLiteral("亮灯：") + Text(text, lang);
    }
    // A text keeps its characters between the quotes.
    for (const auto& [en, zh] : {std::pair{"Show \"", "显示“"}, std::pair{"Scroll \"", "滚动“"}}) {
        if (english.startsWith(QLatin1String(en)) && english.endsWith(QLatin1Char('"')))
            return QString::fromUtf8(zh)
                   + english.mid(qsizetype(std::strlen(en)), english.size() - qsizetype(std::strlen(en)) - 1)
                   + QStringLiteral("”");
    }
    return english;
}

}  // namespace sim
