// display-test.exe itself under Wine on a virtual X display: one file that starts with
// nothing beside it, opens COM5 (a pseudo-terminal of wine-port-host) at 2400 8N1, and
// whose access keys put the panel's bytes on the line; and beside display-sim.exe, the
// virtual display, whose port it finds and opens by itself. Pictures of its window in
// Chinese (at start) and in English, and of the two side by side, are left in the folder
// given as the first argument.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/wine/display_test_exe.h"
#include "tests/wine/hex_words.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/serial_comm.h"
#include "tests/wine/text_display.h"
#include "tests/wine/win32_process.h"

namespace {

using display_test_exe::kEndMs;
using display_test_exe::kPort;
using display_test_exe::kStartMs;
using display_test_exe::kTitle;
constexpr int kArrivalMs = 5000;
constexpr int kQuietMs = 500;

std::string g_pictureDir;

struct Search {
    DWORD processId;
    HWND found;
    const wchar_t* title = kTitle;
};

BOOL CALLBACK TakeTheWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t title[128] = {};
    ::GetWindowTextW(window, title, 128);
    if (owner == search->processId && ::IsWindowVisible(window) && std::wstring(title) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The process's window with the title once it shows (the panel's by default), or null
// after timeoutMs.
HWND WaitForWindow(DWORD processId, DWORD timeoutMs, const wchar_t* title = kTitle)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    do {
        Search search{processId, nullptr, title};
        ::EnumWindows(TakeTheWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        ::Sleep(100);
    } while (::GetTickCount64() < end);
    return nullptr;
}

// Alt and the key, as a user presses them, into the panel's window.
void PressAccessKey(HWND window, WORD key)
{
    ::SetForegroundWindow(window);
    INPUT input[4] = {};
    for (INPUT& i : input)
        i.type = INPUT_KEYBOARD;
    input[0].ki.wVk = VK_MENU;
    input[1].ki.wVk = key;
    input[2].ki.wVk = key;
    input[2].ki.dwFlags = KEYEVENTF_KEYUP;
    input[3].ki.wVk = VK_MENU;
    input[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(4, input, sizeof(INPUT));
}

// The window's pixels as drawn on the screen, 32 bits a pixel, top row first.
std::vector<std::uint32_t> Grab(HWND window, int* width, int* height)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(*width) * static_cast<std::size_t>(*height));
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, *width, *height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, *width, *height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(*height), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// The window as a .bmp picture in the picture folder, and its pixels.
std::vector<std::uint32_t> Picture(HWND window, const std::string& name)
{
    ::Sleep(500);  // the window repaints after a change of language
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels = Grab(window, &width, &height);
    if (g_pictureDir.empty() || pixels.empty())
        return pixels;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(std::uint32_t));
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + bytes;
    const std::wstring path = wine_host::WindowsPath(g_pictureDir + "/display-test-" + name + ".bmp");
    FILE* out = ::_wfopen(path.c_str(), L"wb");
    if (out != nullptr) {
        std::fwrite(&file, sizeof(file), 1, out);
        std::fwrite(&header, sizeof(header), 1, out);
        std::fwrite(pixels.data(), 1, bytes, out);
        std::fclose(out);
    }
    return pixels;
}

TEST(DisplayTestExe, OpensCom5AndItsAccessKeysPutThePanelsBytesOnTheLine)
{
    REQUIRE_PORT_HOST();
    const wine_host::Process panel(DISPLAY_TEST_EXE, {});
    ASSERT_TRUE(panel.Started()) << "cannot start " << DISPLAY_TEST_EXE;
    const HWND window = WaitForWindow(panel.Id(), kStartMs);
    ASSERT_NE(window, nullptr) << "no window within " << kStartMs << " ms";

    // The only port there is, opened at once at 2400 baud, 8 data bits, no parity, one
    // stop bit, and nothing sent until a key is pressed.
    const auto line = wine_host::SettingsAtSpeed(kPort, 2400, kStartMs);
    ASSERT_TRUE(line.has_value()) << "COM5 was not opened at 2400 baud";
    EXPECT_EQ(line->inputSpeed, 2400);
    EXPECT_EQ(line->dataBits, 8);
    EXPECT_FALSE(line->parity);
    EXPECT_FALSE(line->twoStopBits);
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");

    const std::vector<std::uint32_t> chinese = Picture(window, "zh");

    // Written out by hand: Clear, the lamp (ESC s n), the text (ESC Q A ... CR) or the
    // demonstration (ESC Q D, ESC E 5).
    const std::pair<WORD, const char*> kPresses[] = {
        {'S', "0C 1B7330 1B5141 382E382E382E382E382E382E382E382E 0D"},  // Send Data(&S), all dark, 8.8.8.8.8.8.8.8.
        {'2', ""},                                                      // &2 Price
        {'S', "0C 1B7331 1B5141 382E382E382E382E382E382E382E382E 0D"},  // Send Data(&S), Price
        {'D', "0C 1B5144 3132333435363738 0D"},                         // Scrolling(&D)
        {'F', "0C 1B4505 1B5141 382E382E382E382E382E382E382E382E 0D"},  // Flickering(&F)
    };
    for (const auto& [key, hex] : kPresses) {
        SCOPED_TRACE(std::string("Alt+") + static_cast<char>(key) + " " + hex);
        std::string digits(hex);
        std::erase(digits, ' ');
        const std::string expected = wine_host::Unhex(digits).value();
        PressAccessKey(window, key);
        if (!expected.empty()) {
            EXPECT_EQ(wine_host::Hex(wine_host::Read(kPort, expected.size(), kArrivalMs)), wine_host::Hex(expected));
        }
        EXPECT_EQ(wine_host::Hex(wine_host::ReadUntilQuiet(kPort, kQuietMs)), "");
    }

    // English(&E): every caption changes; 中文(&C) brings Chinese back.
    PressAccessKey(window, 'E');
    const std::vector<std::uint32_t> english = Picture(window, "en");
    EXPECT_NE(english, chinese);
    PressAccessKey(window, 'C');
    Picture(window, "zh-again");

    // Closing the window ends the program.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(panel.WaitForExit(kEndMs), 0u);
}

// A display on the network: started with --port naming ser2net in front of COM5, the
// panel opens it at 2400 and Send Data(&S) reaches the line; ser2net killed and started
// again, the panel opens it again by itself.
TEST(DisplayTestExe, OpensADeviceServerNamedAtStartAndAgainAfterItsReturn)
{
    REQUIRE_PORT_HOST();
    const auto port = wine_host::Serve(kPort, "rfc2217");
    ASSERT_TRUE(port.has_value());
    const wine_host::Process panel(DISPLAY_TEST_EXE, {"--port", "rfc2217://127.0.0.1:" + std::to_string(*port)});
    ASSERT_TRUE(panel.Started()) << "cannot start " << DISPLAY_TEST_EXE;
    const HWND window = WaitForWindow(panel.Id(), kStartMs);
    ASSERT_NE(window, nullptr) << "no window within " << kStartMs << " ms";
    const std::string sendData = wine_host::Unhex("0C1B73301B5141382E382E382E382E382E382E382E382E0D").value();
    // The port opens on the panel's thread, soon after the window shows or once a second
    // after the server's return: Alt+S until the bytes come.
    const auto sendDataArrives = [&] {
        for (int attempt = 0; attempt < 20; ++attempt) {
            PressAccessKey(window, 'S');
            const std::string got = wine_host::Read(kPort, sendData.size(), 1000);
            if (!got.empty())
                return wine_host::Hex(got + wine_host::ReadUntilQuiet(kPort, kQuietMs));
        }
        return std::string("nothing");
    };
    EXPECT_EQ(sendDataArrives(), wine_host::Hex(sendData));
    EXPECT_EQ(wine_host::ArrivalSpeed(kPort), 2400);
    ASSERT_TRUE(wine_host::Unserve(kPort));
    ASSERT_EQ(wine_host::Serve(kPort, "rfc2217"), port);
    EXPECT_EQ(sendDataArrives(), wine_host::Hex(sendData));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(panel.WaitForExit(kEndMs), 0u);
}

// Keys pressed and let go one after the other, into the window that has the focus.
void PressKeys(std::initializer_list<WORD> keys)
{
    for (const WORD key : keys) {
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = key;
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, input, sizeof(INPUT));
        ::Sleep(200);  // the menu opens between two keys
    }
}

constexpr wchar_t kAboutTitle[] = L"\u5173\u4e8e Vandry Customer Display Test";  // 关于 ...
constexpr char kScrollingHex[] = "0C1B514431323334353637380D";

// With no COM port at start: a line that a driver names in the registry as COM23 while
// the panel runs is listed and opened, and the panel's bytes go out on it. The last entry
// of the window's system menu opens the About box, which holds the panel until it is
// closed. (Wine lends no other process a window's system menu, so the menu is reached
// only as a user reaches it; panel_win32_test reads the entry's command.)
TEST(DisplayTestExe, OpensAPortTheRegistryNamesWhileItRunsAndHasAboutInItsSystemMenu)
{
    REQUIRE_PORT_HOST();
    ASSERT_TRUE(wine_host::Unplug(kPort));
    ASSERT_TRUE(wine_host::RemoveSerialPortList());
    const wine_host::Process panel(DISPLAY_TEST_EXE, {});
    ASSERT_TRUE(panel.Started()) << "cannot start " << DISPLAY_TEST_EXE;
    const HWND window = WaitForWindow(panel.Id(), kStartMs);
    ASSERT_NE(window, nullptr) << "no window within " << kStartMs << " ms";

    ::Sleep(1000);  // the panel has looked for ports and found none
    ASSERT_TRUE(wine_host::Plug("COM23"));
    const ULONGLONG named = ::GetTickCount64();
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\Serial22)", "COM23"));
    const auto line = wine_host::SettingsAtSpeed("COM23", 2400, kStartMs);
    const ULONGLONG took = ::GetTickCount64() - named;
    ASSERT_TRUE(line.has_value()) << "COM23 was not opened at 2400 baud";
    EXPECT_LT(took, 2000u) << "COM23 opened after " << took << " ms";
    EXPECT_EQ(line->dataBits, 8);
    EXPECT_FALSE(line->parity);
    EXPECT_FALSE(line->twoStopBits);
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM23", kQuietMs), "");
    PressAccessKey(window, 'S');
    const std::string sendData = wine_host::Unhex("0C1B73301B5141382E382E382E382E382E382E382E382E0D").value();
    EXPECT_EQ(wine_host::Hex(wine_host::Read("COM23", sendData.size(), kArrivalMs)), wine_host::Hex(sendData));

    // Alt+Space opens the system menu; Up reaches its last entry, Return chooses it.
    ::SetForegroundWindow(window);
    INPUT alt[1] = {};
    alt[0].type = INPUT_KEYBOARD;
    alt[0].ki.wVk = VK_MENU;
    ::SendInput(1, alt, sizeof(INPUT));
    PressKeys({VK_SPACE});
    alt[0].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(1, alt, sizeof(INPUT));
    PressKeys({VK_UP, VK_RETURN});
    HWND about = WaitForWindow(panel.Id(), kArrivalMs, kAboutTitle);
    if (about == nullptr) {
        // What the keys choose is the window manager's: the command itself as well.
        ADD_FAILURE() << "Alt+Space, Up, Return opened no About box";
        ::PostMessageW(window, WM_SYSCOMMAND, 16, 0);
        about = WaitForWindow(panel.Id(), kArrivalMs, kAboutTitle);
    }
    ASSERT_NE(about, nullptr) << "WM_SYSCOMMAND 16 opened no About box";
    // Modal: the panel's keys do nothing while it is open.
    PressAccessKey(window, 'D');
    EXPECT_EQ(wine_host::Hex(wine_host::ReadUntilQuiet("COM23", kQuietMs)), "");
    ::PostMessageW(about, WM_CLOSE, 0, 0);
    for (const ULONGLONG end = ::GetTickCount64() + kArrivalMs; ::IsWindowVisible(about) && ::GetTickCount64() < end;)
        ::Sleep(100);
    EXPECT_FALSE(::IsWindowVisible(about));
    ::Sleep(500);  // the panel is active again
    PressAccessKey(window, 'D');
    const std::string scrolling = wine_host::Unhex(kScrollingHex).value();
    EXPECT_EQ(wine_host::Hex(wine_host::Read("COM23", scrolling.size(), kArrivalMs)), wine_host::Hex(scrolling));

    // Other system commands go on as before: SC_CLOSE ends the program.
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(panel.WaitForExit(kEndMs), 0u);
    EXPECT_TRUE(wine_host::RemoveSerialPortList());
    EXPECT_TRUE(wine_host::Unplug("COM23"));
    EXPECT_TRUE(wine_host::Plug(kPort));
}

// What display-send.exe printed and how it ended.
struct SenderRun {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string errors;
};

SenderRun Send(const std::vector<std::string>& args)
{
    wine_host::Process sender(DISPLAY_SEND_EXE, args, true, true);
    SenderRun run;
    if (!sender.Started())
        return run;
    run.out = sender.ReadOutput();
    run.errors = sender.ReadErrors();
    run.exitCode = sender.WaitForExit(kEndMs);
    return run;
}

// The display's window on a Chinese desktop: 虚拟客户显示屏 — sim0
constexpr wchar_t kSimTitle[] = L"\u865a\u62df\u5ba2\u6237\u663e\u793a\u5c4f \u2014 sim0";

// The virtual display in text mode, once it has said where it listens.
struct TextDisplay : wine_host::TextDisplay {
    TextDisplay() : wine_host::TextDisplay(DISPLAY_SIM_EXE, kStartMs) {}
};

// With no hardware on Windows: display-sim.exe publishes sim0, which display-send.exe
// lists first and sends to, and which the panel opens by itself at start. A display that
// ends is a port lost; a new one under the same name is opened again; once none runs,
// the name sends nothing and says why.
TEST(VirtualDisplay, Sim0IsListedFirstAndOpenedByTheSenderAndThePanel)
{
    REQUIRE_PORT_HOST();
    std::optional<TextDisplay> display(std::in_place);
    ASSERT_TRUE(display->Started()) << "cannot start " << DISPLAY_SIM_EXE;
    ASSERT_EQ(display->banner.rfind(R"(listening on sim0 (\\.\pipe\)", 0), 0u) << display->banner;
    EXPECT_EQ(display->blank, wine_host::kDarkDisplay);

    const SenderRun list = Send({"--list"});
    EXPECT_EQ(list.exitCode, 0u);
    EXPECT_EQ(list.out.substr(0, list.out.find_first_of("\r\n")).substr(0, 5), "sim0\t") << list.out;
    EXPECT_NE(list.out.find("COM5"), std::string::npos) << list.out;

    const SenderRun price = Send({"--port", "sim0", "--text", "12.50", "--lamp", "price"});
    EXPECT_EQ(price.exitCode, 0u) << price.errors;
    EXPECT_EQ(display->ReadLine(kArrivalMs), "[        ] lamps=Price mode=still");
    EXPECT_EQ(display->ReadLine(kArrivalMs), "[    12.50] lamps=Price mode=still");

    // The panel started afterwards opens sim0 by itself, not COM5: Send Data(&S) lights
    // the display, and nothing reaches COM5.
    const wine_host::Process panel(DISPLAY_TEST_EXE, {});
    ASSERT_TRUE(panel.Started()) << "cannot start " << DISPLAY_TEST_EXE;
    const HWND window = WaitForWindow(panel.Id(), kStartMs);
    ASSERT_NE(window, nullptr) << "no window within " << kStartMs << " ms";
    // Send Data(&S) with every lamp dark: Clear, ESC s 0, then the eights. A display lit
    // as the sender left it prints a line for each; a dark one only for the eights.
    const std::string eights = "[8.8.8.8.8.8.8.8.] lamps=none mode=still";
    auto pressSendData = [&](TextDisplay& on, const std::vector<std::string>& lines) {
        // The panel opens its port on a thread of its own, soon after its window shows.
        for (int attempt = 0; attempt < 10; ++attempt) {
            PressAccessKey(window, 'S');
            if (auto first = on.ReadLine(kArrivalMs)) {
                EXPECT_EQ(*first, lines.front());
                for (std::size_t i = 1; i < lines.size(); ++i)
                    EXPECT_EQ(on.ReadLine(kArrivalMs), lines[i]);
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(
        pressSendData(*display, {"[        ] lamps=Price mode=still", "[        ] lamps=none mode=still", eights}))
        << "Alt+S reached no display";
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");

    // The display killed: its name is not taken while none runs, and a new display takes
    // it over; the panel, which saw it lost, opens it again by itself.
    display->End(kEndMs);
    display.reset();
    const SenderRun away = Send({"--port", "sim0", "--clear"});
    EXPECT_NE(away.exitCode, 0u);
    EXPECT_NE(away.errors.find("sim0"), std::string::npos) << away.errors;
    const SenderRun left = Send({"--list"});
    EXPECT_EQ(left.out.find("sim0"), std::string::npos) << left.out;
    TextDisplay next;
    ASSERT_EQ(next.banner.rfind("listening on sim0 (", 0), 0u) << next.banner;
    ASSERT_TRUE(pressSendData(next, {eights})) << "the panel did not open the new display's sim0";

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(panel.WaitForExit(kEndMs), 0u);
}

// The two windows side by side, as a user without the hardware sees them: pictures of
// the screen are left in the picture folder.
TEST(VirtualDisplay, TheDisplaysWindowShowsWhatThePanelSends)
{
    REQUIRE_PORT_HOST();
    const wine_host::Process display(DISPLAY_SIM_EXE, {});
    ASSERT_TRUE(display.Started()) << "cannot start " << DISPLAY_SIM_EXE;
    const HWND face = WaitForWindow(display.Id(), kStartMs, kSimTitle);
    ASSERT_NE(face, nullptr) << "the display showed no window within " << kStartMs << " ms";
    const wine_host::Process panel(DISPLAY_TEST_EXE, {});
    const HWND window = WaitForWindow(panel.Id(), kStartMs);
    ASSERT_NE(window, nullptr) << "no window within " << kStartMs << " ms";
    RECT faceRect{};
    ::GetWindowRect(face, &faceRect);
    ::SetWindowPos(face, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(window, nullptr, faceRect.right - faceRect.left + 8, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const std::vector<std::uint32_t> dark = Picture(face, "sim-dark");
    ::Sleep(1000);                // the panel has opened sim0
    PressAccessKey(window, '2');  // Price
    PressAccessKey(window, 'S');
    std::vector<std::uint32_t> lit;
    for (const ULONGLONG end = ::GetTickCount64() + kArrivalMs; ::GetTickCount64() < end;) {
        lit = Picture(face, "sim-lit");
        if (lit != dark)
            break;
    }
    EXPECT_NE(lit, dark) << "the display's face did not change";
    Picture(::GetDesktopWindow(), "side-by-side");
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(panel.WaitForExit(kEndMs), 0u);
    ::PostMessageW(face, WM_CLOSE, 0, 0);
    EXPECT_EQ(display.WaitForExit(kEndMs), 0u);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        g_pictureDir = argv[1];
    return RUN_ALL_TESTS();
}
