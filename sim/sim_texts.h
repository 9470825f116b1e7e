#pragma once
// The words of the virtual display's window, in English and in Chinese. --text speaks
// English only: scripts read it.

#include <QString>

namespace sim {

enum class Language { English, Chinese };

// Chinese on a Chinese desktop (its locale), English on any other.
Language DesktopLanguage();

enum class SimText {
    Title,             // %1 is the port's name
    Listening,         // %1 is the port
    Placeholder,       // the empty log
    SendersLine,       // %1: "9600 8N1"
    WouldShowGarbage,  // after SendersLine; %1: the display's "2400 8N1"
    Misread,           // in the log; %1: the sender's "9600 8N1", %2: the display's
    NotShown,          // after Misread
    MoreBytes,         // %1 is the count
    MoreCommands,      // %1 is the count
    LineClosed,
    LampPrice,
    LampTotal,
    LampCollect,
    LampChange,
    SendersLineHidden,  // instead of SendersLine where it cannot be seen; %1: the display's "2400 8N1"
};

QString Text(SimText text, Language lang);

// A command as the log names it ("Clear", "Lamp Price", "Show \"12.50\"") in the language.
QString CommandText(const QString& english, Language lang);

}  // namespace sim
