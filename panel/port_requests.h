#pragma once
// The panel's requests to its port and which of their answers still count. Every open and
// write gets the next number, and every answer names the request it answers: the port's
// thread may answer late, after the panel has moved on. The rules:
//  - only the open asked last decides the port's state; an open asked before it, or before
//    the line was given up, is given up too, and its (stale) answer changes nothing;
//  - the open that succeeded holds the line until the next open or until the line is
//    given up; only its hang-up, or a write on it, speaks of the line held now;
//  - a write belongs to the line it was asked on; one given up with its line is answered
//    still, but its answer says nothing;
//  - the writes on their way when the user chooses another port or rate finish while the
//    line still takes their bytes; one the line takes nothing of between two stall checks
//    is ended;
//  - every request counts as unanswered until its answer comes, given up or not; once
//    closed, nothing is answered any more and nothing is asked.

#include <cstdint>
#include <deque>
#include <optional>

#include "resources/captions.h"

namespace panel {

class PortRequests {
public:
    // What a write was for, to say how it went when its answer comes.
    struct Note {
        res::Text success = res::Text::StatusSuccess;  // the status text when it went out
        bool step = false;                             // a demonstration step: "Send:" before the label
        res::Lang lang = res::Lang::Chinese;           // the language at the time of the click or tick
    };
    struct PendingWrite {
        std::uint64_t request = 0;
        std::uint64_t line = 0;  // the open that held the line it went to
        Note note;
    };
    // A stall check of the writes asked before the last choice of port or rate.
    enum class Stall {
        Moving,   // the line took bytes since the last check, or this is the first: check again
        Stalled,  // it took none since the last check: end them
        Done,     // none is on its way any more
    };

    // A new open, which gives up the open awaited and the line held: its number, or none
    // once closed.
    std::optional<std::uint64_t> AskOpen();
    // A new write on the line held now: its number, or none once closed.
    std::optional<std::uint64_t> AskWrite(Note note);
    // An open answered: whether the answer decides the port's state. If it does and the
    // open succeeded, it holds the line.
    bool OpenAnswered(std::uint64_t request, bool ok);
    // A write answered: the write, unless it was given up.
    std::optional<PendingWrite> WriteAnswered(std::uint64_t request);
    // The line is gone: the open awaited, the line and the writes on their way are given
    // up. The last write given up, if any.
    std::optional<PendingWrite> GiveUpLine();
    // The user chose another port or rate: whether writes are on their way, to be checked
    // for a stall.
    bool Chosen();
    // Checks where the line stands (a count that moves on whenever it takes bytes).
    Stall CheckStall(std::uint64_t progress);
    // Nothing is answered any more: every request is given up and none is counted after.
    void Close();

    // Whether the answer of an open is awaited.
    bool OpenAwaited() const { return m_openAwaited != 0; }
    // Whether this open holds the line now.
    bool HoldsLine(std::uint64_t openRequest) const { return openRequest != 0 && openRequest == m_line; }
    // Whether a write's answer is awaited.
    bool Writing() const { return !m_writes.empty(); }
    // Whether an open or a write has not been answered yet, given up or not.
    bool Busy() const { return m_unanswered > 0; }

private:
    static constexpr std::uint64_t kProgressUnseen = ~std::uint64_t(0);

    std::uint64_t m_last = 0;  // the number of the last request
    int m_unanswered = 0;
    std::uint64_t m_openAwaited = 0;                 // the open whose answer decides; 0 when none is awaited
    std::uint64_t m_line = 0;                        // the open that holds the line; 0 while none does
    std::deque<PendingWrite> m_writes;               // in the order asked
    std::uint64_t m_writesBeforeChoice = 0;          // the writes up to this one were asked before the choice
    std::uint64_t m_progressSeen = kProgressUnseen;  // where the line stood at the last check
    bool m_closed = false;
};

}  // namespace panel
