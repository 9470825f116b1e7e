// Which answers of the port's thread still count, whatever their order: each row a run of
// requests and answers, "step=what it must say", as the panel's rules have it.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "panel/port_requests.h"

namespace {

using panel::PortRequests;

// One step: "open", "write", "opened N", "failed N", "written N", "lose", "choose",
// "check PROGRESS", "holds N", "awaited", "busy", "close".
std::string Take(PortRequests& requests, const std::string& verb, std::uint64_t n)
{
    const auto number = [](const char* what, auto request) {
        return request ? what + std::to_string(*request) : std::string("none");
    };
    const auto yes = [](bool b) { return std::string(b ? "yes" : "no"); };
    if (verb == "open" || verb == "write")
        return number("", verb == "open" ? requests.AskOpen() : requests.AskWrite({}));
    if (verb == "opened" || verb == "failed")
        return requests.OpenAnswered(n, verb == "opened") ? "decides" : "given up";
    if (verb == "written") {
        const auto write = requests.WriteAnswered(n);
        return write ? "line " + std::to_string(write->line) : "given up";
    }
    if (verb == "lose") {
        const auto last = requests.GiveUpLine();
        return number("last ", last ? std::optional(last->request) : std::nullopt);
    }
    const char* stalls[] = {"moving", "stalled", "done"};
    if (verb == "check")
        return stalls[static_cast<int>(requests.CheckStall(n))];
    if (verb == "choose")
        return requests.Chosen() ? "check" : "none";
    if (verb == "holds" || verb == "awaited" || verb == "busy")
        return yes(verb == "holds"     ? requests.HoldsLine(n)
                   : verb == "awaited" ? requests.OpenAwaited()
                                       : requests.Busy());
    if (verb != "close")
        return "no such step: " + verb;
    requests.Close();
    return "";
}

const struct {
    const char* name;
    const char* steps;
} kRuns[] = {
    {"the open asked last decides", "open=1; open=2; opened 1=given up; awaited=yes; opened 2=decides; awaited=no; "
                                    "holds 2=yes; holds 1=no"},
    {"answered last first", "open=1; open=2; opened 2=decides; opened 1=given up; holds 2=yes; holds 1=no"},
    {"a failed open decides and holds no line", "open=1; failed 1=decides; holds 1=no; awaited=no"},
    {"an open given up with the line", "open=1; lose=none; awaited=no; opened 1=given up; holds 1=no"},
    {"a new open lets go of the line held", "open=1; opened 1=decides; open=2; holds 1=no; holds 0=no"},
    {"a write belongs to the line it was asked on",
     "open=1; opened 1=decides; write=2; open=3; opened 3=decides; written 2=line 1; holds 1=no; write=4; "
     "written 4=line 3; holds 3=yes"},
    {"writes given up with their line", "open=1; opened 1=decides; write=2; write=3; lose=last 3; busy=yes; "
                                        "written 3=given up; written 2=given up; busy=no"},
    {"every request unanswered until its answer", "busy=no; open=1; open=2; opened 1=given up; busy=yes; "
                                                  "opened 2=decides; write=3; busy=yes; written 3=line 2; busy=no"},
    {"a write before a new choice: the first check only notes", "open=1; opened 1=decides; write=2; choose=check; "
                                                                "check 5=moving; check 6=moving; check 6=stalled"},
    {"each choice checks afresh", "open=1; opened 1=decides; write=2; choose=check; check 5=moving; check 5=stalled; "
                                  "choose=check; check 5=moving"},
    {"a write before a new choice that ends", "open=1; opened 1=decides; write=2; choose=check; check 0=moving; "
                                              "written 2=line 1; check 0=done"},
    {"a write after the choice is not checked", "open=1; opened 1=decides; write=2; choose=check; open=3; "
                                                "written 2=line 1; opened 3=decides; write=4; check 7=done"},
    {"no write on its way at the choice", "open=1; opened 1=decides; write=2; written 2=line 1; choose=none"},
    {"closed: all given up, nothing asked", "open=1; opened 1=decides; write=2; open=3; close=; busy=no; "
                                            "holds 1=no; awaited=no; open=none; write=none; busy=no; choose=none"},
};

TEST(PortRequests, OnlyTheAnswersStillAwaitedCount)
{
    for (const auto& run : kRuns) {
        SCOPED_TRACE(run.name);
        PortRequests requests;
        std::istringstream steps(run.steps);
        for (std::string step; std::getline(steps >> std::ws, step, ';');) {
            const std::size_t eq = step.find('=');
            std::istringstream call(step.substr(0, eq));
            std::string verb;
            std::uint64_t n = 0;
            call >> verb >> n;
            EXPECT_EQ(step.substr(0, eq) + "=" + Take(requests, verb, n), step);
        }
    }
}

}  // namespace
