#pragma once
// The virtual display's line on the network, whichever side opened the connection: the
// display listening for one sender at a time (ListeningLine), or the display as a client
// of a device server, reading what the server's line receives (ServedLine). DisplayLine
// reads either as it reads its other lines. Private to the serial library.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "serial/display_line.h"
#include "serial/line_settings.h"
#include "serial/native_handle.h"

namespace serial {

class NetworkReader {
public:
    virtual ~NetworkReader() = default;

    // Signalled while Read has something to say: bytes, a client that came or went, a
    // connection the server closed.
    virtual NativeHandle WaitHandle() const noexcept = 0;
    // The bytes the display receives, without the Telnet commands, which are answered here.
    virtual ReadResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count) = 0;
    // The OS's message for the last Read that failed; empty when none did.
    virtual std::string ReadFailure() const = 0;
    // As DisplayLine::ClientSettings and DisplayLine::HidesSenderSettings.
    virtual std::optional<LineSettings> ClientSettings() const = 0;
    virtual bool HidesSenderSettings() const noexcept = 0;
};

}  // namespace serial
