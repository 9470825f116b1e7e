#include "resources/dialog_template.h"

#include <array>

#include "resources/resource_ids.h"

namespace res {
namespace {

using enum ControlKind;
using enum Text;

// The port list is rebuilt before the window shows, so these items are never seen.
constexpr std::array<std::string_view, 4> kPortItems{"COM1", "COM2", "COM3", "COM4"};
constexpr std::array<std::string_view, 2> kBaudItems{"2400", "9600"};

// The table is laid out in columns by hand, to be read across.
// clang-format off
constexpr DialogControl kTestPanelControls[] = {
    // id               kind           x    y    cx   cy   caption       icon          style
    {IDC_PORT,          DropListCombo, 56,  18,  55,  65,  {},           0,            kTabStop | kVScroll, kPortItems},
    {IDC_BAUD,          DropListCombo, 56,  33,  55,  116, {},           0,            kTabStop, kBaudItems},
    {IDC_LANG_EN,       AutoRadio,     148, 20,  49,  10,  LangEnglish,  0,            kGroup | kTabStop, {}},
    {IDC_LANG_CN,       AutoRadio,     148, 35,  41,  10,  LangChinese,  0,            kTabStop, {}},
    {IDC_LAMP_OFF,      AutoRadio,     15,  74,  43,  10,  LampOff,      0,            kGroup | kTabStop, {}},
    {IDC_LAMP_PRICE,    AutoRadio,     60,  74,  37,  10,  LampPrice,    0,            kTabStop, {}},
    {IDC_LAMP_TOTAL,    AutoRadio,     100, 74,  35,  10,  LampTotal,    0,            kTabStop, {}},
    {IDC_LAMP_COLLECT,  AutoRadio,     145, 74,  40,  10,  LampCollect,  0,            kTabStop, {}},
    {IDC_LAMP_CHANGE,   AutoRadio,     190, 74,  40,  10,  LampChange,   0,            kTabStop, {}},
    {IDC_DATA,          Edit,          5,   95,  160, 15,  {},           0,            kTabStop | kCentre, {}},
    {IDC_SEND,          PushButton,    170, 95,  65,  15,  SendData,     0,            kTabStop, {}},
    {IDC_SCROLL,        PushButton,    170, 115, 65,  15,  Scrolling,    0,            kTabStop, {}},
    {IDC_FLICKER,       PushButton,    170, 135, 65,  15,  Flickering,   0,            kTabStop, {}},
    {IDC_AUTO,          PushButton,    170, 155, 65,  15,  AutoDisplay,  0,            kTabStop, {}},
    {IDC_LBL_PORT,      Static,        15,  20,  36,  8,   LblPort,      0,            kGroup, {}},
    {IDC_LBL_BAUD,      Static,        15,  35,  35,  8,   LblBaud,      0,            0, {}},
    {IDC_GRP_LAMP,      GroupBox,      5,   60,  230, 30,  GrpLamp,      0,            0, {}},
    {IDC_GRP_SETTING,   GroupBox,      5,   5,   130, 50,  GrpSetting,   0,            0, {}},
    {IDC_TIME_STATUS,   Edit,          15,  145, 140, 12,  {},           0,            kReadOnly | kNoBorder | kAutoHScroll, {}},
    {IDC_SEND_STATUS,   Edit,          15,  125, 140, 12,  {},           0,            kReadOnly | kNoBorder | kAutoHScroll, {}},
    {IDC_GRP_LANG,      GroupBox,      140, 5,   95,  50,  GrpLanguage,  0,            0, {}},
    {IDC_PORT_ICON,     IconStatic,    113, 16,  20,  20,  {},           IDI_PORT_OPEN, 0, {}},
    {IDC_LOGO,          IconStatic,    197, 16,  20,  20,  {},           IDI_LOGO,     kRealSizeImage, {}},
    {IDC_STATIC,        GroupBox,      5,   110, 160, 60,  {},           0,            0, {}},
};
// clang-format on

constexpr DialogTemplate kTestPanel{
    IDD_TEST_PANEL, WindowTitle, 239, 176, 9, "System", kTestPanelControls,
};

}  // namespace

const DialogTemplate& TestPanelTemplate()
{
    return kTestPanel;
}

}  // namespace res
