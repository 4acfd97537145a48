#include "headless/StopSignal.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lanternwick {

namespace {

std::atomic<int> signalPipe{-1};
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

extern "C" void onStopSignal(int) {
    const int saved = errno;
    const int fd = signalPipe.load();
    if (fd >= 0) {
        const char byte = 's';
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

StopSignal::StopSignal(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    if (::pipe(pipe_) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    ::fcntl(pipe_[1], F_SETFL, O_NONBLOCK);
    ::fcntl(pipe_[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(pipe_[1], F_SETFD, FD_CLOEXEC);
    signalPipe.store(pipe_[1]);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInterrupt);
    ::sigaction(SIGTERM, &action, &previousTerminate);

    watcher_ = std::thread([this] {
        char byte = 0;
        while (::read(pipe_[0], &byte, 1) < 0 && errno == EINTR) {
        }
        // 'q' is the destructor's own wake-up, not a signal.
        if (byte == 'q') return;
        requested_.store(true);
        if (onStop_) onStop_();
    });
}

StopSignal::~StopSignal() {
    if (pipe_[1] < 0) return;
    ::sigaction(SIGINT, &previousInterrupt, nullptr);
    ::sigaction(SIGTERM, &previousTerminate, nullptr);
    signalPipe.store(-1);
    if (!requested_.load()) {
        const char quit = 'q';
        [[maybe_unused]] const auto written = ::write(pipe_[1], &quit, 1);
    }
    watcher_.join();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

}  // namespace lanternwick
