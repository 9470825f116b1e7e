#pragma once
// The Windows side of wine-port-host (port_host.cpp): a Windows test program that runs
// under the host asks it about the far end of the serial lines it was given.
//
// Only the host makes COM ports safe to use under Wine: it links pseudo-terminals into
// the prefix and nothing else. Tests that open or list ports skip when it is absent.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wine_host {

// Whether this program runs under the host.
bool Available();

// The terminal settings of a line as Linux sees them.
struct LineSettings {
    int inputSpeed = -1;
    int outputSpeed = -1;
    int dataBits = -1;
    bool parity = false;
    bool twoStopBits = false;
    bool receiverOn = false;         // CREAD
    bool ignoresModemLines = false;  // CLOCAL
    bool hardwareFlow = false;       // CRTSCTS
    bool outputProcessing = false;   // OPOST
    bool canonical = false;          // ICANON
    bool echo = false;
    bool softwareFlow = false;     // IXON
    bool stripsEighthBit = false;  // ISTRIP
};
std::optional<LineSettings> Settings(std::string_view port);

// The line as a user says it: its input speed and frame, "9600 8N1".
inline std::string Described(const LineSettings& line)
{
    return std::to_string(line.inputSpeed) + " " + std::to_string(line.dataBits) + (line.parity ? "P" : "N")
           + (line.twoStopBits ? "2" : "1");
}

// The settings once a program has set the line to the speed, or nullopt after timeoutMs.
std::optional<LineSettings> SettingsAtSpeed(std::string_view port, int speed, int timeoutMs);

// Up to count bytes that arrived on the line, waiting at most timeoutMs for them.
std::string Read(std::string_view port, std::size_t count, int timeoutMs);

// What arrives on the line until it has been quiet for quietMs.
std::string ReadUntilQuiet(std::string_view port, int quietMs);

// Sends the bytes on the line towards the program, as a sender at its far end. True when
// the host did so.
bool Write(std::string_view port, std::string_view bytes);

// Stops the line's output, as a display holding it with flow control does, and lets it
// go on again. True when the host did so.
bool Stall(std::string_view port);
bool Resume(std::string_view port);

// The line goes away (its COM link and its pseudo-terminal), as an adapter that is
// unplugged; then a new one comes under the same name. True when the host did so.
bool Unplug(std::string_view port);
bool Plug(std::string_view port);

// ser2net started in front of the line (its RFC 2217 or its raw TCP accepter), or started
// again on the same port after Unserve killed it: the port it listens on at 127.0.0.1.
std::optional<int> Serve(std::string_view port, std::string_view accepter);
bool Unserve(std::string_view port);
// The line's speed when bytes last arrived on it, or nullopt.
std::optional<int> ArrivalSpeed(std::string_view port);

// pyserial's client on Linux opening url (rfc2217://... or socket://...) at baud, writing
// the bytes and closing: its exit status.
std::optional<int> PySerialSend(std::string_view url, int baud, std::string_view bytes);

// The Linux build's display-send, run with these arguments on a line of its own: its
// exit status and the bytes it sent.
struct SendResult {
    int exitCode = -1;
    std::string bytes;
};
std::optional<SendResult> NativeSend(const std::vector<std::string>& args);

}  // namespace wine_host
