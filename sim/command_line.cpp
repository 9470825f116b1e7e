#include "sim/command_line.h"

#include <QCommandLineParser>

#include "serial/serial_port.h"
#include "sim/main_platform.h"

namespace sim {

ParsedOptions ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption text(QStringLiteral("text"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("NAME"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("RATE"));
    const QCommandLineOption lang(QStringLiteral("lang"), {}, QStringLiteral("LANG"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({text, port, baud, lang, help, version});
    // -ab is not -a -b here: there are no single-letter options to bundle.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    auto wrong = [](const QString& why) { return ParsedOptions{std::nullopt, why.toStdString()}; };
    if (!parser.parse(arguments))
        return wrong(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return wrong(QStringLiteral("unexpected argument: ") + parser.positionalArguments().constFirst());

    Options o;
    o.text = parser.isSet(text);
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    if (parser.isSet(port)) {
        o.port = parser.value(port).toStdString();
        if (o.port.empty())
            return wrong(QStringLiteral("--port needs a port name, such as ttyUSB0"));
    }
    if (parser.isSet(lang)) {
        o.lang = parser.value(lang).toStdString();
        if (o.lang != "en" && o.lang != "zh")
            return wrong(QStringLiteral("--lang takes en or zh, not \"") + parser.value(lang) + QStringLiteral("\""));
    }
    if (parser.isSet(baud) && !serial::ParseBaudRate(parser.value(baud).toStdString(), &o.baud))
        return wrong(QStringLiteral("--baud: not a baud rate: ") + parser.value(baud));
    return {o, {}};
}

std::string UsageText()
{
    return R"(Usage: display-sim [--text] [--port NAME] [--baud RATE] [--lang en|zh]

A virtual customer display: eight seven-segment digits with points and the lamps Price,
Total, Collect and Change. It shows what the bytes it receives would show on the device.

)" + std::string(OwnLineUsage()) + R"(
Options:
  --text         no window: print the display state as one line at start and whenever
                 a command changes it, however the bytes arrive, for example
                   [    12.50] lamps=Price mode=still
                   [12345678] lamps=none mode=scrolling text="12345678"
                   [8.8.8.8.8.8.8.8.] lamps=none mode=flickering
                 Between the brackets the eight positions as a user reads them: a blank
                 position is a space, a lit point a '.' after its position. Then the lit
                 lamp (none, Price, Total, Collect or Change), the mode (still, scrolling,
                 flickering) and, while scrolling, the whole scrolling text.
                 When the sender's line settings are ones the display could not read,
                 a line such as the following stands for each piece of what it sent,
                 and the display takes nothing of it:
                   sender at 9600 baud: a display at 2400 would show garbage
  --port NAME    listen on a serial port instead (ttyUSB0, ttyS0, a virtual port name, or
                 a device path), for instance at the end of a null-modem cable
  --baud RATE    the rate the display reads at (default 2400), 8 data bits, no parity,
                 1 stop bit. On its own pseudo-terminal the display shows the settings
                 the sender set and marks what a display at this rate could not read.
  --lang LANG    the window's language: en (English) or zh (Chinese); by default the
                 desktop's, Chinese on a Chinese desktop, else English. --text prints
                 English whatever the language.
  --version      print the version
  -h, --help     print this help

Ctrl+C ends it.
)";
}

}  // namespace sim
