#pragma once
// Resource ids of the program: dialogs, icons, strings, menu commands and the controls of
// the test panel. Every id and its symbol stand here once.

#include <string_view>

// Dialogs
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_TEST_PANEL = 102;

// Icons
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDI_PORT_OPEN = 130;
inline constexpr int IDI_PORT_CLOSED = 131;
inline constexpr int IDI_LOGO = 152;

// Strings and menu commands
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDM_ABOUTBOX = 0x0010;

// Controls without an id of their own (the frame around the status lines).
inline constexpr int IDC_STATIC = -1;

// The controls of the test panel, each with its symbol, which also names the widget.
#define VANDRY_PANEL_CONTROLS(X) \
    X(IDC_DATA, 1002)            \
    X(IDC_SEND, 1004)            \
    X(IDC_PORT, 1009)            \
    X(IDC_BAUD, 1010)            \
    X(IDC_TIME_STATUS, 1019)     \
    X(IDC_SEND_STATUS, 1020)     \
    X(IDC_AUTO, 1027)            \
    X(IDC_LAMP_OFF, 1033)        \
    X(IDC_LAMP_PRICE, 1034)      \
    X(IDC_LAMP_TOTAL, 1035)      \
    X(IDC_SCROLL, 1036)          \
    X(IDC_FLICKER, 1037)         \
    X(IDC_LAMP_COLLECT, 1038)    \
    X(IDC_LAMP_CHANGE, 1039)     \
    X(IDC_LANG_EN, 1040)         \
    X(IDC_LANG_CN, 1041)         \
    X(IDC_PORT_ICON, 1042)       \
    X(IDC_GRP_LANG, 1043)        \
    X(IDC_GRP_SETTING, 1044)     \
    X(IDC_LBL_PORT, 1045)        \
    X(IDC_LBL_BAUD, 1046)        \
    X(IDC_GRP_LAMP, 1047)        \
    X(IDC_LOGO, 1048)

#define VANDRY_DECLARE_ID(symbol, id) inline constexpr int symbol = id;
VANDRY_PANEL_CONTROLS(VANDRY_DECLARE_ID)
#undef VANDRY_DECLARE_ID

// The symbol of a control id ("IDC_PORT" for 1009); empty for an unknown id.
constexpr std::string_view ControlSymbol(int id)
{
#define VANDRY_SYMBOL_CASE(symbol, value) \
    case value: return #symbol;
    switch (id) {
        VANDRY_PANEL_CONTROLS(VANDRY_SYMBOL_CASE)
    default: return {};
    }
#undef VANDRY_SYMBOL_CASE
}
