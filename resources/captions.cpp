#include "resources/captions.h"

#include <array>
#include <cstddef>

#include "resources/resource_ids.h"

namespace res {
namespace {

using enum Text;

// The table is laid out in columns by hand, to be read across.
// clang-format off
constexpr std::array<CaptionRow, static_cast<std::size_t>(Text::Count)> kCaptions{{
    // text               control            English                                   Chinese
    {LblPort,             IDC_LBL_PORT,      "Serial Port",                            "端口"},
    {LblBaud,             IDC_LBL_BAUD,      "Baud Rate",                              "波特率"},
    {GrpSetting,          IDC_GRP_SETTING,   "Setting",                                "设置"},
    {GrpLanguage,         IDC_GRP_LANG,      "Language",                               "语言"},
    {GrpLamp,             IDC_GRP_LAMP,      "Light Status",                           "灯状态"},
    {LampOff,             IDC_LAMP_OFF,      "&1 All dark",                            "&1 全暗"},
    {LampPrice,           IDC_LAMP_PRICE,    "&2 Price",                               "&2 单价"},
    {LampTotal,           IDC_LAMP_TOTAL,    "&3 Total",                               "&3 总计"},
    {LampCollect,         IDC_LAMP_COLLECT,  "&4 Collect",                             "&4 收款"},
    {LampChange,          IDC_LAMP_CHANGE,   "&5 Change",                              "&5 找零"},
    {SendData,            IDC_SEND,          "Send Data(&S)",                          "发送数据(&S)"},
    {Scrolling,           IDC_SCROLL,        "Scrolling(&D)",                          "滚动(&D)"},
    {Flickering,          IDC_FLICKER,       "Flickering(&F)",                         "闪烁(&F)"},
    {AutoDisplay,         IDC_AUTO,          "Auto display(&A)",                       "自动演示(&A)"},
    {AutoStop,            IDC_AUTO,          "Stop(&T)",                               "停止(&T)"},

    {WindowTitle,         0,                 "Vandry Customer Display Test",           "Vandry Customer Display Test"},
    {LangEnglish,         0,                 "English(&E)",                            "English(&E)"},
    {LangChinese,         0,                 "中文(&C)",                               "中文(&C)"},
    {AboutMenu,           0,                 "关于 Ostrel(&A)...",                     "关于 Ostrel(&A)..."},

    {StatusSuccess,       0,                 "Send: Success",                          "发送: 成功"},
    {StatusScrolling,     0,                 "Send: Scrolling",                        "发送: 滚动"},
    {StatusFlickering,    0,                 "Send: Flickering",                       "发送: 闪烁"},
    {StatusFailed,        0,                 "Send: Failed",                           "发送: 失败"},
    {PrefixSend,          0,                 "Send:    ",                              "发送: "},
    {PrefixRuntime,       0,                 "Runtime: ",                              "用时: "},
    {StatusBusy,          0,                 "Send: Waiting for the line",             "发送: 等待线路"},
    {StatusDisconnected,  0,                 "%1: disconnected",                       "%1：已断开"},
    {StatusPermissionDenied, 0,              "%1: permission denied",                  "%1：权限不足"},
    {HintNoPort,          0,                 "Connect the display or start the virtual display",
                                                                                       "请连接显示屏或启动虚拟显示屏"},
    {HintDisconnected,    0,                 "Waiting for it to come back",            "等待重新连接"},
    {HintPermissionDenied, 0,                "Add your user to the dialout group",     "请把您的用户加入 dialout 组"},
    {HintInUse,           0,                 "Waiting for it to be released",          "等待其释放"},

    {Step1,               0,                 "Clear",                                  "清屏"},
    {Step2,               0,                 "0",                                      "0"},
    {Step3,               0,                 "0.1",                                    "0.1"},
    {Step4,               0,                 "0.12",                                   "0.12"},
    {Step5,               0,                 "0.123",                                  "0.123"},
    {Step6,               0,                 "0.1234",                                 "0.1234"},
    {Step7,               0,                 "0.12345",                                "0.12345"},
    {Step8,               0,                 "0.123456",                               "0.123456"},
    {Step9,               0,                 "0.1234567",                              "0.1234567"},
    {Step10,              0,                 "8.8.8.8.8.8.8.8",                        "8.8.8.8.8.8.8.8"},
    {Step11,              0,                 "Price",                                  "单价"},
    {Step12,              0,                 "Total",                                  "总计"},
    {Step13,              0,                 "Collect",                                "收款"},
    {Step14,              0,                 "Change",                                 "找零"},

    {PortOpen,            0,                 "%1: open at %2 baud",                    "%1：已打开，%2 波特"},
    {PortNoneFound,       0,                 "No serial port found",                   "未找到串口"},
    {PortNoSuchPort,      0,                 "%1: the port does not exist",            "%1：端口不存在"},
    {PortPermissionDenied, 0,                "%1: permission denied: add your user to the dialout group",
                                                                                       "%1：权限不足：请把您的用户加入 dialout 组"},
    {PortInUse,           0,                 "%1: in use by another program",          "%1：已被其他程序占用"},
    {PortInUseBy,         0,                 "%1: in use by %2",                       "%1：已被 %2 占用"},
    {PortUnsupportedBaud, 0,                 "%1: the port does not support %2 baud",  "%1：端口不支持 %2 波特"},
    {PortBadName,         0,                 "%1: not a serial port name",             "%1：不是串口名称"},
    {PortKernelConsole,   0,                 "%1: the kernel's console, left alone",   "%1：内核控制台，不予打开"},
    {PortOther,           0,                 "%1: the port cannot be opened (%3)",     "%1：无法打开端口（%3）"},
    {PortDisconnected,    0,                 "%1: disconnected, waiting for it to come back",
                                                                                       "%1：已断开，等待重新连接"},
    {PortAway,            0,                 "%1 (away)",                              "%1（未连接）"},
    {PortHostNotFound,    0,                 "%1: host not found",                     "%1：找不到主机"},
    {PortConnectionRefused, 0,               "%1: connection refused",                 "%1：连接被拒绝"},
    {PortNoAnswer,        0,                 "%1: no answer within 3 s",               "%1：3 秒内无应答"},
    {PortNotDeviceServer, 0,                 "%1: not an RFC 2217 device server",      "%1：不是 RFC 2217 设备服务器"},
    {NetRfc2217Server,    0,                 "RFC 2217 device server %1",              "RFC 2217 设备服务器 %1"},
    {NetRawTcpServer,     0,                 "raw TCP %1; the rate is set on the device server",
                                                                                       "原始 TCP %1；波特率在设备服务器上设置"},
    {NetRfc2217Open,      0,                 "RFC 2217 device server %1: open at %2 baud",
                                                                                       "RFC 2217 设备服务器 %1：已打开，%2 波特"},
    {NetRawTcpOpen,       0,                 "raw TCP %1: open; the rate is set on the device server",
                                                                                       "原始 TCP %1：已打开；波特率在设备服务器上设置"},
    {NetPortEntry,        0,                 "Network port...",                        "网络端口..."},

    {NetTitle,            0,                 "Network Port",                           "网络端口"},
    {NetKind,             0,                 "&Kind:",                                 "类型(&K)："},
    {NetKindRfc2217,      0,                 "RFC 2217 (the panel sets the rate)",     "RFC 2217（由本程序设置波特率）"},
    {NetKindRawTcp,       0,                 "Raw TCP (the server's own rate)",        "原始 TCP（使用服务器自身的波特率）"},
    {NetHost,             0,                 "&Host:",                                 "主机(&H)："},
    {NetPort,             0,                 "&Port:",                                 "端口号(&P)："},
    {NetOk,               0,                 "OK",                                     "确定"},
    {NetCancel,           0,                 "Cancel",                                 "取消"},
    {NetNoHost,           0,                 "Enter the device server's host name or address",
                                                                                       "请输入设备服务器的主机名或地址"},
    {NetBadHost,          0,                 "Not a host name or address",             "不是有效的主机名或地址"},
    {NetBadPort,          0,                 "The port number is from 1 to 65535",     "端口号应在 1 到 65535 之间"},

    {AboutTitle,          0,                 "About Vandry Customer Display Test",     "关于 Vandry Customer Display Test"},
    {AboutVersion,        0,                 "Version %1",                             "版本 %1"},
    {AboutPurpose,        0,                 "Drives a customer display over a serial line to test it and to show what it can do.",
                                                                                       "通过串口驱动客户显示屏，用于测试和演示。"},
    {AboutClose,          0,                 "OK",                                     "确定"},

    {AccData,             0,                 "Data to show",                           "要显示的数据"},
    {AccSendStatus,       0,                 "Send status",                            "发送状态"},
    {AccTimeStatus,       0,                 "Run time and hints",                     "用时和提示"},
    {AccStatusFrame,      0,                 "Status",                                 "状态"},
    {AccLogo,             0,                 "Vandry logo",                            "Vandry 标志"},
    {AccPortOpen,         0,                 "%1: open",                               "%1：已打开"},
    {AccPortOpening,      0,                 "%1: opening",                            "%1：正在打开"},
    {AccPortClosed,       0,                 "%1: not open",                           "%1：未打开"},
    {AccPortDisconnected, 0,                 "%1: disconnected",                       "%1：已断开"},
    {AccWindow,           0,                 "Vandry Customer Display Test",           "Vandry 客户显示屏测试"},
    {AccAutoStarted,      0,                 "Auto display started",                   "自动演示已开始"},
    {AccAutoStopped,      0,                 "Auto display stopped",                   "自动演示已停止"},
    {AccSentenceEnd,      0,                 ". ",                                     "。"},
}};
// clang-format on

// The table is indexed by Text: each row must stand at the place of its text.
constexpr bool RowsInEnumOrder()
{
    for (std::size_t i = 0; i < kCaptions.size(); ++i) {
        if (static_cast<std::size_t>(kCaptions[i].text) != i)
            return false;
    }
    return true;
}
static_assert(RowsInEnumOrder(), "caption rows out of the order of res::Text");

}  // namespace

std::span<const CaptionRow> CaptionTable()
{
    return kCaptions;
}

std::string_view Caption(Text text, Lang lang)
{
    const CaptionRow& row = kCaptions.at(static_cast<std::size_t>(text));
    return lang == Lang::English ? row.english : row.chinese;
}

}  // namespace res
