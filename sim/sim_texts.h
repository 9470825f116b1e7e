#pragma once
// The words of the virtual display's window, in English and in Chinese. --text speaks
// English only: scripts read it.

#include <QString>

#include "sim/display_state.h"

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
    // The face as a screen reader says it (FaceText).
    FaceBlank,
    FaceShows,  // %1 is the text
    FaceScrolling,
    FaceFlickering,
    FaceLit,  // %1 lists the lamps
    FaceDark,
    LogName,
    SendersLineHiddenTcp,  // as SendersLineHidden, over raw TCP; %1: the display's "2400 8N1"
    OpenToOthers,          // %1 is the address listened on
};

QString Text(SimText text, Language lang);

// What the face shows, as a screen reader says it: "Shows 12.50; lit: Price",
// "Shows 12345678, scrolling; lamps dark", "显示 12.50；亮灯：单价".
QString FaceText(const DisplayState& state, Language lang);

// A command as the log names it ("Clear", "Lamp Price", "Show \"12.50\"") in the language.
QString CommandText(const QString& english, Language lang);

}  // namespace sim
