#include "console-sim/CueTableDump.h"

#include <fstream>
#include <system_error>

namespace lanternwick::sim {

CueTableDump::CueTableDump(const CueTable& table, SimulatorLog& log, DumpOptions options)
    : table_(table), log_(log), options_(std::move(options)), timer_(options_.executor) {
    write();
}

CueTableDump::~CueTableDump() {
    if (pending_) write();
}

void CueTableDump::tableChanged() {
    if (pending_) return;
    const auto due = lastWrite_ + options_.interval;
    if (std::chrono::steady_clock::now() >= due) {
        write();
        return;
    }
    pending_ = true;
    timer_.expires_at(due);
    timer_.async_wait([this, alive = std::weak_ptr<bool>(alive_)](const std::error_code& error) {
        if (error || alive.expired()) return;
        write();
    });
}

void CueTableDump::write() {
    pending_ = false;
    lastWrite_ = std::chrono::steady_clock::now();
    ++writeCount_;
    std::filesystem::path temporary = options_.file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << table_.toJSON() << '\n';
        if (!out) {
            log_.dropped("dump", "cannot write " + temporary.string());
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, options_.file, error);
    if (error) log_.dropped("dump", "cannot replace " + options_.file.string() + ": " + error.message());
}

}  // namespace lanternwick::sim
