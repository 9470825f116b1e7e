#pragma once
// Every text the program shows, in English and in Chinese, in one table (captions.cpp), so
// that a translator finds them in one place. Texts are UTF-8.

#include <span>
#include <string_view>

namespace res {

enum class Lang { English, Chinese };

enum class Text {
    // Control captions, in the order in which a language switch sets them.
    LblPort,
    LblBaud,
    GrpSetting,
    GrpLanguage,
    GrpLamp,
    LampOff,
    LampPrice,
    LampTotal,
    LampCollect,
    LampChange,
    SendData,
    Scrolling,
    Flickering,
    AutoDisplay,  // Auto display button while the demonstration is stopped
    AutoStop,     // the same button while it runs

    // Texts that read the same in both languages.
    WindowTitle,
    LangEnglish,
    LangChinese,
    AboutMenu,  // string IDS_ABOUTBOX

    // Status lines.
    StatusSuccess,
    StatusScrolling,
    StatusFlickering,
    StatusFailed,
    PrefixSend,     // upper line of a demonstration step
    PrefixRuntime,  // lower line of a demonstration step
    StatusBusy,     // a step comes while the line has not taken the last message yet
    // While no port is open, the two status lines: why, and what to do or what happens.
    StatusDisconnected,      // %1 is the port
    StatusPermissionDenied,  // %1 is the port
    HintNoPort,
    HintDisconnected,
    HintPermissionDenied,
    HintInUse,

    // Labels of the fourteen demonstration steps.
    Step1,
    Step2,
    Step3,
    Step4,
    Step5,
    Step6,
    Step7,
    Step8,
    Step9,
    Step10,
    Step11,
    Step12,
    Step13,
    Step14,

    // Tooltip of the port icon. %1 is the port, %2 the baud rate, %3 the system's message.
    PortOpen,
    PortNoneFound,
    PortNoSuchPort,
    PortPermissionDenied,
    PortInUse,
    PortInUseBy,  // %2 is the program holding it
    PortUnsupportedBaud,
    PortBadName,
    PortKernelConsole,
    PortOther,
    PortDisconnected,
    PortAway,  // the chosen port in the port list while it is away; %1 is the port
    // A network port's own reasons. %1 is the port.
    PortHostNotFound,
    PortConnectionRefused,
    PortNoAnswer,
    PortNotDeviceServer,
    // What a network port is, as its list entry's tooltip says it; %1 is HOST:PORT.
    NetRfc2217Server,
    NetRawTcpServer,
    // The port icon's tooltip while a network port is open; %1 is HOST:PORT, %2 the baud rate.
    NetRfc2217Open,
    NetRawTcpOpen,
    NetPortEntry,  // the last entry of the port list, which opens the network port dialog

    // The network port dialog.
    NetTitle,
    NetKind,
    NetKindRfc2217,
    NetKindRawTcp,
    NetHost,
    NetPort,
    NetOk,
    NetCancel,
    // Why OK waits: no host yet, a host that is no name or address, a port out of range.
    NetNoHost,
    NetBadHost,
    NetBadPort,

    // About box.
    AboutTitle,
    AboutVersion,  // %1 is the version
    AboutPurpose,
    AboutClose,

    // Names a screen reader gives the controls that have no caption of their own.
    AccData,
    AccSendStatus,   // the upper status line
    AccTimeStatus,   // the lower status line
    AccStatusFrame,  // the untitled group box around the status lines
    AccLogo,
    // The port lamp's name, which says the state. %1 is the port.
    AccPortOpen,
    AccPortOpening,
    AccPortClosed,
    AccPortDisconnected,
    AccWindow,       // the window's name; its title stays as it is
    AccAutoStarted,  // said when the demonstration starts
    AccAutoStopped,  // and when it stops
    AccSentenceEnd,  // between two sentences said at once

    Count
};

struct CaptionRow {
    Text text;
    int controlId;  // the control whose caption a language switch sets; 0 for none
    std::string_view english;
    std::string_view chinese;
};

// The whole table, one row per Text, in the order of the enumeration.
std::span<const CaptionRow> CaptionTable();

// The text in the language.
std::string_view Caption(Text text, Lang lang);

}  // namespace res
