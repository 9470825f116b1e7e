#include "tests/wine/port_host_client.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <thread>

#include "tests/wine/hex_words.h"

namespace wine_host {

namespace {

// One question, one line of answer; the words after "ok", or nullopt on an error.
std::optional<std::vector<std::string>> Ask(const std::string& request)
{
    if (!Available())
        return std::nullopt;
    // Whatever is buffered goes first; the host takes the request from the end of a line.
    std::fflush(stdout);
    std::printf("@@port-host %s\n", request.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return std::nullopt;
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    std::istringstream in(answer);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    if (words.empty() || words[0] != "ok") {
        std::fprintf(stderr, "port host: %s -> %s\n", request.c_str(), answer.c_str());
        return std::nullopt;
    }
    words.erase(words.begin());
    return words;
}

}  // namespace

bool Available()
{
    const char* flag = std::getenv("DISPLAYTEST_PORT_HOST");
    return flag != nullptr && std::string_view(flag) == "1";
}

std::optional<LineSettings> Settings(std::string_view port)
{
    const auto words = Ask("termios " + std::string(port));
    if (!words)
        return std::nullopt;
    LineSettings s;
    for (const std::string& word : *words) {
        const auto eq = word.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = word.substr(0, eq);
        const int value = std::atoi(word.c_str() + eq + 1);
        if (key == "ispeed")
            s.inputSpeed = value;
        else if (key == "ospeed")
            s.outputSpeed = value;
        else if (key == "csize")
            s.dataBits = value;
        else if (key == "parenb")
            s.parity = value != 0;
        else if (key == "cstopb")
            s.twoStopBits = value != 0;
        else if (key == "cread")
            s.receiverOn = value != 0;
        else if (key == "clocal")
            s.ignoresModemLines = value != 0;
        else if (key == "crtscts")
            s.hardwareFlow = value != 0;
        else if (key == "opost")
            s.outputProcessing = value != 0;
        else if (key == "icanon")
            s.canonical = value != 0;
        else if (key == "echo")
            s.echo = value != 0;
        else if (key == "ixon")
            s.softwareFlow = value != 0;
        else if (key == "istrip")
            s.stripsEighthBit = value != 0;
    }
    return s;
}

std::optional<LineSettings> SettingsAtSpeed(std::string_view port, int speed, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        const auto settings = Settings(port);
        if (settings && settings->outputSpeed == speed)
            return settings;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

std::string Read(std::string_view port, std::size_t count, int timeoutMs)
{
    const auto words = Ask("read " + std::string(port) + " " + std::to_string(count) + " " + std::to_string(timeoutMs));
    return words && !words->empty() ? Unhex((*words)[0]).value_or(std::string()) : std::string();
}

std::string ReadUntilQuiet(std::string_view port, int quietMs)
{
    const auto words = Ask("quiet " + std::string(port) + " " + std::to_string(quietMs));
    return words && !words->empty() ? Unhex((*words)[0]).value_or(std::string()) : std::string();
}

bool Write(std::string_view port, std::string_view bytes)
{
    return Ask("write " + std::string(port) + " " + Hex(bytes)).has_value();
}

bool Stall(std::string_view port)
{
    return Ask("stall " + std::string(port)).has_value();
}

bool Resume(std::string_view port)
{
    return Ask("resume " + std::string(port)).has_value();
}

bool Unplug(std::string_view port)
{
    return Ask("unplug " + std::string(port)).has_value();
}

bool Plug(std::string_view port)
{
    return Ask("plug " + std::string(port)).has_value();
}

std::optional<int> Serve(std::string_view port, std::string_view accepter)
{
    const auto words = Ask("serve " + std::string(port) + " " + std::string(accepter));
    if (!words || words->size() != 1)
        return std::nullopt;
    return std::atoi((*words)[0].c_str());
}

bool Unserve(std::string_view port)
{
    return Ask("unserve " + std::string(port)).has_value();
}

std::optional<int> ArrivalSpeed(std::string_view port)
{
    const auto words = Ask("arrival " + std::string(port));
    if (!words || words->size() != 1 || (*words)[0] == "-1")
        return std::nullopt;
    return std::atoi((*words)[0].c_str());
}

std::optional<int> PySerialSend(std::string_view url, int baud, std::string_view bytes)
{
    const auto words = Ask("pyserial " + std::string(url) + " " + std::to_string(baud) + " " + Hex(bytes));
    if (!words || words->size() != 1)
        return std::nullopt;
    return std::atoi((*words)[0].c_str());
}

std::optional<SendResult> NativeSend(const std::vector<std::string>& args)
{
    std::string request = "native-send";
    for (const std::string& arg : args)
        request += " x" + Hex(arg);  // "x": an empty argument is still a word
    const auto words = Ask(request);
    if (!words || words->empty())
        return std::nullopt;
    SendResult result;
    result.exitCode = std::atoi((*words)[0].c_str());
    if (words->size() > 1)
        result.bytes = Unhex((*words)[1]).value_or(std::string());
    return result;
}

}  // namespace wine_host
