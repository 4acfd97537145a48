#pragma once
// The system's side of TerminalDeletionPrompt, in a file per system
// (TerminalDeletionPromptPosix.cpp on termios): the terminal opened so that
// neither reading nor writing ever waits, job control asked whether this
// process may read it now, typed-ahead input dropped, and one read or write
// at a time. The question, the answers and the patience are the prompt's own,
// so a port adds a file and edits none.
// For TerminalDeletionPrompt only, one owner, on the thread that drives its
// queue.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace lanternwick::terminalDevice {

// What the system hands out for an open terminal; `noHandle` for none.
using Handle = std::intptr_t;
inline constexpr Handle noHandle = -1;

// noHandle unless `path` opens and is a terminal.
Handle open(const std::filesystem::path& path);
void close(Handle handle);

// False while a read (or dropping the input) would get this process stopped
// by job control, a run in the background; a terminal that is not the
// controlling one has no say in that.
bool inForeground(Handle handle);
// Whatever was typed and not yet read is dropped.
void discardTyped(Handle handle);

struct Transfer {
    enum class Stop {
        none,         // `count` bytes went through; try again for more
        wouldBlock,   // nothing now
        endOfInput,   // reading only: Ctrl-D on an empty line, or a hang-up
        lost,         // the terminal is gone
    };
    std::size_t count = 0;
    Stop stop = Stop::none;
};
Transfer read(Handle handle, char* buffer, std::size_t size);
Transfer write(Handle handle, std::string_view text);
// Returns once the terminal can take more output, or after `patience`.
void waitForRoom(Handle handle, std::chrono::milliseconds patience);

}  // namespace lanternwick::terminalDevice
