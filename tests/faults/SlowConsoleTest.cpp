// A console that reads, only slowly: a real console carries out command lines
// far more slowly than the kernel hands them over, so a large edit sits in the
// socket buffers and the write queue for seconds while the console works
// through it. Such a console is alive; every line must reach it.

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/LoopbackPeer.h"
#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

using namespace std::chrono_literals;

// Sits between the monitor and the console and passes what the monitor
// writes at `bytesPerSecond`; the console's answers go back at once. One
// connection at a time, a new one for each reconnect.
class ThrottlingProxy {
public:
    ThrottlingProxy(std::uint16_t consolePort, std::size_t bytesPerSecond)
        : consolePort_(consolePort), rate_(bytesPerSecond), thread_([this] { run(); }) {}
    ~ThrottlingProxy() {
        stop_ = true;
        thread_.join();
    }
    std::uint16_t port() const { return listener_.port(); }
    int connections() const { return connections_; }

private:
    void run() {
        while (!stop_) {
            testing::Peer product = listener_.accept(20ms);
            if (!product.valid()) continue;
            ++connections_;
            testing::Peer console(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            const sockaddr_storage address = testing::LoopbackListener::loopback(AF_INET, consolePort_);
            if (::connect(console.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(sockaddr_in)) != 0) continue;
            pass(product, console);
        }
    }

    void pass(const testing::Peer& product, const testing::Peer& console) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t forwarded = 0;
        std::vector<std::uint8_t> buffer(65536);
        while (!stop_) {
            const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const auto allowed = static_cast<std::size_t>(elapsed * static_cast<double>(rate_)) + 512;
            pollfd fds[2] = {{product.fd(), static_cast<short>(allowed > forwarded ? POLLIN : 0), 0},
                             {console.fd(), POLLIN, 0}};
            ::poll(fds, 2, 10);
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(product.fd(), buffer.data(), std::min(buffer.size(), allowed - forwarded), 0);
                if (n <= 0 || !console.send(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + n))) return;
                forwarded += static_cast<std::size_t>(n);
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(console.fd(), buffer.data(), buffer.size(), 0);
                if (n <= 0 || !product.send(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + n))) return;
            }
        }
    }

    testing::LoopbackListener listener_;
    std::uint16_t consolePort_;
    std::size_t rate_;
    std::atomic<bool> stop_ = false;
    std::atomic<int> connections_ = 0;
    std::thread thread_;
};

// 1,999 markers added in one save are about 8,000 lines, some 380 KB: at
// 60 KB/s the console needs over six seconds for them, longer than a ping
// may wait when it is counted from the moment it was queued behind them.
// (Much slower and loopback's 64 KB segments leave the window shut for so
// long that the kernel's user timeout, not the ping, ends the connection.)
TEST(SlowConsole, ALargeEditReachesAConsoleThatReadsSlowlyWithoutEndlessReconnects) {
    SoakConsole console;
    ThrottlingProxy proxy(console.port(), 60'000);
    // The update on connect gives the console the first cue whole; the edit
    // then only renames it.
    MonitorRig rig(proxy.port());
    std::vector<ShowMarker> markers = numberedShow(2000);
    rig.write(showText(std::vector<ShowMarker>(markers.begin(), markers.begin() + 1)));
    rig.start();
    ASSERT_TRUE(rig.waitConnected());

    for (ShowMarker& marker : markers) marker.label += " renumbered";
    rig.write(showText(markers));
    rig.poll();
    EXPECT_TRUE(rig.runUntil([&] { return console.cues() == expectedCues(markers); }, 30s))
        << "the console holds " << console.cues().size() << " of " << markers.size() << " cues after "
        << proxy.connections() << " connections";
    EXPECT_EQ(proxy.connections(), 1) << "a console that reads is not given up";
    EXPECT_FALSE(console.hasRefusals());
}

}  // namespace
}  // namespace lanternwick::soak
