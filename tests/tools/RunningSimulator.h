#pragma once
// RunningSimulator: the console simulator on an ephemeral loopback port, run
// by a thread of its own, for tests that need a real console peer. Its state
// is read on its own thread through inspect().

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorServer.h"

namespace lanternwick::sim {

class RunningSimulator {
public:
    explicit RunningSimulator(bool splitReplies = false)
        : log_(out_, SimulatorLog::Format::json), simulator_(log_),
          server_(io_, simulator_, log_, SimulatorServerOptions{"127.0.0.1", 0, splitReplies, std::chrono::milliseconds(30)}) {
        const auto bound = server_.start();
        EXPECT_TRUE(bound.ok());
        port_ = bound.ok() ? *bound : 0;
        thread_ = std::thread([this] { io_.run(); });
    }
    ~RunningSimulator() {
        asio::post(io_, [this] { server_.stop(); });
        work_.reset();
        io_.stop();
        thread_.join();
    }

    std::uint16_t port() const { return port_; }

    // Reads simulator state on its own thread.
    template <typename F>
    auto inspect(F f) {
        std::promise<decltype(f())> result;
        asio::post(io_, [&] { result.set_value(f()); });
        return result.get_future().get();
    }

    std::optional<SimulatedCue> cue(std::int64_t list, std::string number) {
        return inspect([&] { return simulator_.cueTable().find(list, number); });
    }

    bool waitFor(const std::function<bool(RunningSimulator&)>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition(*this)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return condition(*this);
    }

    std::string output() {
        return inspect([&] { return out_.str(); });
    }

private:
    asio::io_context io_;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{asio::make_work_guard(io_)};
    std::ostringstream out_;
    SimulatorLog log_;
    ConsoleSimulator simulator_;
    SimulatorServer server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace lanternwick::sim
