#pragma once
// CueTableDump: keeps a file holding the simulator's cue table as JSON
// (written to a fresh file in the same folder and renamed over the old one,
// so a reader never sees half a table). Bound: at most one write per interval (100 ms).
// A change after a quiet interval is written at once; changes that come
// sooner are gathered into one trailing write when the interval is over, so
// a burst of 100,000 command lines costs about ten writes a second, not one
// per line, and the file never trails the table by more than an interval.
// Destruction writes what is still pending, so the file ends with the last
// state. Owned by the ConsoleSimulator, whose table it reads; runs on the
// executor's one thread (the simulator's).

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "console-sim/CueTable.h"
#include "console-sim/SimulatorLog.h"

namespace lanternwick::sim {

struct DumpOptions {
    std::filesystem::path file;
    // Runs the trailing write after a burst.
    asio::any_io_executor executor;
    std::chrono::milliseconds interval{100};
};

class CueTableDump {
public:
    // Writes the table at once.
    CueTableDump(const CueTable& table, SimulatorLog& log, DumpOptions options);
    ~CueTableDump();

    CueTableDump(const CueTableDump&) = delete;
    CueTableDump& operator=(const CueTableDump&) = delete;

    void tableChanged();
    std::size_t writeCount() const { return writeCount_; }

private:
    void write();

    const CueTable& table_;
    SimulatorLog& log_;
    DumpOptions options_;
    asio::steady_timer timer_;
    bool pending_ = false;
    std::chrono::steady_clock::time_point lastWrite_;
    std::size_t writeCount_ = 0;
    // A wait that has already fired cannot be cancelled: its handler checks this.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Writes `text` to a new file beside `file` (made with mkstemp, so nothing
// already there is followed) and renames it over `file`. Returns why it
// failed, or nothing; a failed attempt leaves no file behind.
std::string replaceFile(const std::filesystem::path& file, std::string_view text);

}  // namespace lanternwick::sim
