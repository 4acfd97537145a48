#pragma once
// FaultConsole: the console simulator on a loopback port, run by a thread of
// its own, that a test can kill (at once, or by itself after a given number
// of executed commands, so that a burst is cut off in the middle) and start
// again on the same port with an empty cue table, as a rebooted console
// would be. While killed, connections to the port are refused.
// Owned by one test; its state is read on the simulator's thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorServer.h"

namespace lanternwick::faults {

// Collects the simulator's JSON lines and counts executed commands as they
// are written, on the simulator's thread.
class CountingLogBuffer final : public std::streambuf {
public:
    std::function<void(std::size_t executed)> onExecuted;

    std::string text() const {
        const std::lock_guard lock(mutex_);
        return text_;
    }
    std::size_t executedCount() const { return executed_.load(); }

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) {
            return traits_type::not_eof(c);
        }
        bool lineEnded = false;
        {
            const std::lock_guard lock(mutex_);
            text_.push_back(static_cast<char>(c));
            if (c == '\n') {
                const std::size_t start = text_.rfind('\n', text_.size() - 2);
                const std::string_view line =
                    std::string_view(text_).substr(start == std::string::npos ? 0 : start + 1);
                lineEnded = line.find("\"event\":\"executed\"") != std::string_view::npos;
            }
        }
        if (lineEnded) {
            const std::size_t count = ++executed_;
            if (onExecuted) {
                onExecuted(count);
            }
        }
        return c;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
    std::atomic<std::size_t> executed_{0};
};

class FaultConsole {
public:
    // Port 0 picks a free one; later starts reuse it.
    explicit FaultConsole(std::uint16_t port = 0) : port_(port) { start(); }
    ~FaultConsole() { kill(); }

    FaultConsole(const FaultConsole&) = delete;
    FaultConsole& operator=(const FaultConsole&) = delete;

    void start() {
        kill();
        running_ = std::make_unique<Running>(port_);
        const auto bound = running_->server.start();
        ASSERT_TRUE(bound.ok()) << (bound.ok() ? "" : bound.error());
        port_ = *bound;
        running_->thread = std::thread([running = running_.get()] { running->io.run(); });
    }

    // Closes the listening socket and every connection, then stops the thread.
    void kill() {
        if (!running_) {
            return;
        }
        asio::post(running_->io, [running = running_.get()] { running->server.stop(); });
        running_->work.reset();
        running_->thread.join();
        lastLog_ = running_->buffer.text();
        running_.reset();
    }

    // Stops serving (as kill does, from the simulator's own thread) right
    // after the n-th executed command of this run; later bytes already read
    // may still be handled, as on a console that dies while reading.
    void dieAfterExecuted(std::size_t n) {
        Running* running = running_.get();
        running->buffer.onExecuted = [running, n](std::size_t count) {
            if (count == n) {
                asio::post(running->io, [running] { running->server.stop(); });
            }
        };
    }

    std::uint16_t port() const { return port_; }
    bool isRunning() const { return running_ != nullptr; }

    std::vector<sim::SimulatedCue> cues() {
        std::promise<std::vector<sim::SimulatedCue>> result;
        asio::post(running_->io, [&] { result.set_value(running_->simulator.cueTable().cues()); });
        return result.get_future().get();
    }
    std::size_t executedCount() const { return running_ ? running_->buffer.executedCount() : 0; }
    // The JSON log of the current run, or of the last one once killed.
    std::string log() const { return running_ ? running_->buffer.text() : lastLog_; }

    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return condition();
    }

private:
    struct Running {
        explicit Running(std::uint16_t port)
            : out(&buffer), log(out, sim::SimulatorLog::Format::json), simulator(log),
              server(io, simulator, log, sim::SimulatorServerOptions{"127.0.0.1", port, false, {}}) {}

        CountingLogBuffer buffer;
        std::ostream out;
        sim::SimulatorLog log;
        sim::ConsoleSimulator simulator;
        asio::io_context io;
        std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{asio::make_work_guard(io)};
        sim::SimulatorServer server;
        std::thread thread;
    };

    std::uint16_t port_;
    std::unique_ptr<Running> running_;
    std::string lastLog_;
};

}  // namespace lanternwick::faults
