#include "soak/SoakConsole.h"

#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <functional>
#include <thread>

#include <asio.hpp>

#include "console-sim/ConsoleSimulator.h"
#include "console-sim/SimulatorLog.h"
#include "console-sim/SimulatorServer.h"

namespace lanternwick::soak {
namespace {

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
        bool executedLine = false;
        {
            const std::lock_guard lock(mutex_);
            text_.push_back(static_cast<char>(c));
            if (c == '\n') {
                const std::size_t start = text_.rfind('\n', text_.size() - 2);
                const std::string_view line =
                    std::string_view(text_).substr(start == std::string::npos ? 0 : start + 1);
                executedLine = line.find("\"event\":\"executed\"") != std::string_view::npos;
            }
        }
        if (executedLine) {
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

}  // namespace

struct SoakConsole::Running {
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

SoakConsole::SoakConsole(std::uint16_t port) : port_(port) { start(); }

SoakConsole::~SoakConsole() { kill(); }

void SoakConsole::start() {
    kill();
    auto running = std::make_unique<Running>(port_);
    const auto bound = running->server.start();
    if (!bound.ok()) {
        throw std::runtime_error("console simulator: " + bound.error());
    }
    port_ = *bound;
    running->thread = std::thread([io = &running->io] { io->run(); });
    running_ = std::move(running);
}

void SoakConsole::kill() {
    if (!running_) {
        return;
    }
    asio::post(running_->io, [running = running_.get()] { running->server.stop(); });
    running_->work.reset();
    running_->thread.join();
    lastLog_ = running_->buffer.text();
    running_.reset();
}

void SoakConsole::dieAfterExecuted(std::size_t n) {
    Running* running = running_.get();
    running->buffer.onExecuted = [running, n](std::size_t count) {
        if (count == n) {
            asio::post(running->io, [running] { running->server.stop(); });
        }
    };
}

void SoakConsole::stopFor(std::chrono::milliseconds duration) {
    asio::post(running_->io, [duration] { std::this_thread::sleep_for(duration); });
}

std::vector<sim::SimulatedCue> SoakConsole::cues() {
    std::promise<std::vector<sim::SimulatedCue>> result;
    asio::post(running_->io, [&] { result.set_value(running_->simulator.cueTable().cues()); });
    return result.get_future().get();
}

std::size_t SoakConsole::executedCount() const { return running_ ? running_->buffer.executedCount() : 0; }

std::string SoakConsole::log() const { return running_ ? running_->buffer.text() : lastLog_; }

bool SoakConsole::hasRefusals() const {
    const std::string text = log();
    return text.find("\"event\":\"refused\"") != std::string::npos ||
           text.find("\"event\":\"unterminated\"") != std::string::npos;
}

}  // namespace lanternwick::soak
