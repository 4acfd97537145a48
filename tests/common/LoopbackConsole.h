#pragma once
// The console simulator on an ephemeral loopback port, run by a thread of its
// own: the one console peer for every test that needs a real socket. What the
// simulator received is read back from its JSON log, in arrival order.

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorServer.h"

namespace lanternwick::testing {

class LoopbackConsole {
public:
    explicit LoopbackConsole(bool splitReplies = false, OSCTCPFramingMode framing = OSCTCPFramingMode::osc1_1)
        : splitReplies_(splitReplies), framing_(framing) {
        listen(0);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~LoopbackConsole() {
        inspect([this] { return server_->stop(), 0; });
        work_.reset();
        io_.stop();
        thread_.join();
    }

    std::uint16_t port() const { return port_; }

    // Runs f on the simulator's thread and returns its result.
    template <typename F>
    std::invoke_result_t<F> inspect(F f) {
        std::promise<std::invoke_result_t<F>> result;
        asio::post(io_, [&] { result.set_value(f()); });
        return result.get_future().get();
    }

    std::optional<sim::SimulatedCue> cue(std::int64_t list, const std::string& number) {
        return inspect([&] { return simulator_.cueTable().find(list, number); });
    }
    std::string output() {
        return inspect([&] { return out_.str(); });
    }
    // Runs a command line on the console as if typed there.
    void type(const std::string& line) {
        inspect([&] { return simulator_.executeCommandLine(line); });
    }
    void clearOutput() {
        inspect([&] { return out_.str(""), 0; });
    }

    // Every message received, as "address" or "address|value|value".
    std::vector<std::string> received() {
        std::vector<std::string> texts;
        for (const auto& line : logLines("received")) {
            std::size_t at = line.find("\"address\":") + 10;
            std::string text = jsonString(line, at);
            at = line.find("\"values\":[", at) + 10;
            while (line[at] != ']') {
                if (line[at] == ',') ++at;
                text += "|" + (line[at] == '"' ? jsonString(line, at) : line.substr(at, line.find_first_of(",]", at) - at));
                at = line.find_first_of(",]", at);
            }
            texts.push_back(std::move(text));
        }
        return texts;
    }
    std::vector<std::string> commandLines() {
        std::vector<std::string> lines;
        for (const auto& text : received()) {
            if (text.rfind("/eos/user/0/newcmd|", 0) == 0) lines.push_back(text.substr(19));
        }
        return lines;
    }
    std::size_t connections() { return logLines("connected").size(); }

    // Closes every connection and listens again on the same port, as a
    // console that reboots.
    void reboot() {
        inspect([this] {
            server_->stop();
            listen(port_);
            return 0;
        });
    }

    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    void listen(std::uint16_t port) {
        server_.emplace(io_, simulator_, log_, sim::SimulatorServerOptions{"127.0.0.1", port, splitReplies_, std::chrono::milliseconds(30), framing_});
        const auto bound = server_->start();
        ASSERT_TRUE(bound.ok()) << bound.error();
        port_ = *bound;
    }

    std::vector<std::string> logLines(const std::string& event) {
        std::vector<std::string> lines;
        std::istringstream in(output());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("{\"event\":\"" + event + "\"", 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    // Reads the JSON string starting at line[at] and leaves at past it.
    static std::string jsonString(const std::string& line, std::size_t& at) {
        std::string text;
        for (++at; line[at] != '"'; ++at) {
            if (line[at] != '\\') {
                text += line[at];
            } else if (line[++at] == 'u') {
                text += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
                at += 4;
            } else {
                text += line[at] == 'n' ? '\n' : line[at] == 't' ? '\t' : line[at] == 'r' ? '\r' : line[at];
            }
        }
        ++at;
        return text;
    }

    bool splitReplies_;
    OSCTCPFramingMode framing_;
    asio::io_context io_;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{asio::make_work_guard(io_)};
    std::ostringstream out_;
    sim::SimulatorLog log_{out_, sim::SimulatorLog::Format::json};
    sim::ConsoleSimulator simulator_{log_};
    std::optional<sim::SimulatorServer> server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace lanternwick::testing
