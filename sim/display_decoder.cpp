#include "sim/display_decoder.h"

#include "sim/rendering.h"

namespace sim {

namespace {

constexpr std::uint8_t kFF = 0x0C;
constexpr std::uint8_t kCR = 0x0D;
constexpr std::uint8_t kCAN = 0x18;
constexpr std::uint8_t kESC = 0x1B;

// '0'..'4' or 00..04 (some drivers send the plain number); -1 for anything else.
int LampDigit(std::uint8_t b)
{
    if (b >= '0' && b <= '4')
        return b - '0';
    if (b <= 4)
        return b;
    return -1;
}

}  // namespace

const char* LampName(Lamp lamp)
{
    switch (lamp) {
    case Lamp::Price: return "Price";
    case Lamp::Total: return "Total";
    case Lamp::Collect: return "Collect";
    case Lamp::Change: return "Change";
    }
    return "";
}

const char* ModeName(Mode mode)
{
    switch (mode) {
    case Mode::Still: return "still";
    case Mode::Scrolling: return "scrolling";
    case Mode::Flickering: return "flickering";
    }
    return "";
}

bool DisplayDecoder::Feed(const std::uint8_t* data, std::size_t count, const CommandSink& onCommand)
{
    const DisplayState before = m_state;
    m_told = m_state;
    m_sink = &onCommand;
    for (std::size_t i = 0; i < count; ++i) {
        // A byte that broke a command is read again from Idle, which takes every byte.
        if (!Take(data[i]))
            Take(data[i]);
    }
    m_sink = nullptr;
    return m_state != before;
}

bool DisplayDecoder::Feed(const std::uint8_t* data, std::size_t count, std::vector<std::string>* done)
{
    return Feed(data, count, [done](std::string_view what, bool) {
        if (done)
            done->emplace_back(what);
    });
}

void DisplayDecoder::Completed(std::string_view what)
{
    // Compared once per command, not per byte: a flood of bytes stays cheap.
    const bool changed = m_state != m_told;
    if (changed)
        m_told = m_state;
    if (m_sink && *m_sink)
        (*m_sink)(what, changed);
}

bool DisplayDecoder::Take(std::uint8_t b)
{
    switch (m_phase) {
    case Phase::Idle:
        if (b == kFF) {
            Clear();
            Completed("Clear");
        } else if (b == kCAN) {
            Clear();
            Completed("Cancel");
        } else if (b == kESC) {
            m_phase = Phase::Escape;
        }
        return true;  // anything else begins no command and is skipped

    case Phase::Escape:
        m_phase = Phase::Idle;
        switch (b) {
        case 's': m_phase = Phase::LampDigit; return true;
        case 'Q': m_phase = Phase::TextKind; return true;
        case 'E': m_phase = Phase::FlickerParam; return true;
        case '@':
            Clear();
            m_state.lamps = {};
            Completed("Initialise");
            return true;
        default: return false;
        }

    case Phase::LampDigit: {
        m_phase = Phase::Idle;
        const int digit = LampDigit(b);
        if (digit < 0)
            return false;
        m_state.lamps = {};
        if (digit == 0) {
            Completed("Lamps dark");
        } else {
            m_state.lamps[static_cast<std::size_t>(digit - 1)] = true;
            Completed(std::string("Lamp ") + LampName(static_cast<Lamp>(digit - 1)));
        }
        return true;
    }

    case Phase::TextKind:
        m_phase = Phase::Idle;
        if (b != 'A' && b != 'D')
            return false;
        m_scroll = b == 'D';
        m_text.clear();
        m_phase = Phase::Text;
        return true;

    case Phase::Text:
        if (b == kCR) {
            EndText();
            return true;
        }
        if (b == kFF || b == kCAN || b == kESC) {
            // The text never got its CR; the display drops it and obeys the new command.
            m_text.clear();
            m_phase = Phase::Idle;
            return false;
        }
        m_text.push_back(static_cast<char>(b));
        if (m_text.size() >= kMaxTextBytes)
            EndText();
        return true;

    case Phase::FlickerParam:
        m_phase = Phase::Idle;
        m_state.mode = Mode::Flickering;
        m_state.scrollText.clear();
        Completed("Flicker");
        return true;
    }
    return true;
}

void DisplayDecoder::Clear()
{
    m_state.cells = {};
    m_state.mode = Mode::Still;
    m_state.scrollText.clear();
}

void DisplayDecoder::EndText()
{
    std::vector<Cell> laidOut = LayOutText(m_text);
    // The log names the text as it came, a character the digits cannot show included.
    const std::string what = (m_scroll ? "Scroll \"" : "Show \"") + m_text + "\"";
    m_state.cells = RightAligned(laidOut);
    if (m_scroll) {
        m_state.mode = Mode::Scrolling;
        m_state.scrollText = std::move(laidOut);
    } else {
        if (m_state.mode == Mode::Scrolling)
            m_state.mode = Mode::Still;
        m_state.scrollText.clear();
    }
    m_text.clear();
    m_phase = Phase::Idle;
    Completed(what);  // once the state is whole
}

}  // namespace sim
