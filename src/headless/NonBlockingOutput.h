#pragma once
// NonBlockingOutput: one standard stream (output or error) that the sync
// never waits for. Whole texts (a record, a note) go into a bounded buffer
// and are written, on a serial queue of the shared event loop, whenever the
// descriptor can take them; a reader that stalls (a paused pager, Ctrl-S, a
// `| grep` that stopped reading) costs memory up to the bound and nothing
// else.
//
// Bound: `capacity` bytes waiting (about 1 MiB for records). A text that does
// not fit is left out whole and counted; once the buffer has drained, the
// line `droppedLine(count)` says how many were left out. A descriptor that
// is gone (EPIPE, EIO, a hung-up terminal) stops the writing for good: the
// buffer is emptied, `onGone` is told the reason once, and later texts are
// dropped without a word. SIGPIPE must be ignored by the process.
//
// The stream is written through a descriptor of its own, so that making it
// non-blocking does not change the stream for the processes that share it (a
// pipe or a terminal is opened anew; a regular file, which never blocks, is
// written in place; anything else is switched to non-blocking and switched
// back when this object goes). That part is the system's, in
// OutputDescriptor.h.
// Owned by the headless run; write() and waitUntilWritten() may be called
// from any thread, the callbacks run on the writing queue.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace lanternwick {

class NonBlockingOutput {
public:
    using DroppedLine = std::function<std::string(std::uint64_t count)>;
    using OnGone = std::function<void(const std::string& reason)>;

    static constexpr std::size_t recordCapacity = 1024 * 1024;

    NonBlockingOutput(int descriptor, std::size_t capacity, DroppedLine droppedLine, OnGone onGone = {});
    ~NonBlockingOutput();

    NonBlockingOutput(const NonBlockingOutput&) = delete;
    NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;

    // False when the text was left out (no room, or the stream is gone).
    bool write(std::string_view text);

    // Waits at most `patience` for everything accepted so far to be written;
    // true when it was (or the stream is gone, so nothing more can be).
    bool waitUntilWritten(std::chrono::milliseconds patience);

    bool gone() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace lanternwick
