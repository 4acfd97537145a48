#include "console-sim/CueTableDump.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

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
    if (const std::string failure = replaceFile(options_.file, table_.toJSON() + '\n'); !failure.empty()) {
        log_.dropped("dump", failure);
    }
}

std::string replaceFile(const std::filesystem::path& file, const std::string_view text) {
    // mkstemp makes a new file with O_EXCL, so a name planted beside the
    // dump (a symlink to someone's file) is never opened, let alone written.
    std::string temporary = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) return "cannot create a file beside " + file.string() + ": " + std::strerror(errno);
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t written = ::write(descriptor, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const std::string reason = std::strerror(errno);
            ::close(descriptor);
            ::unlink(temporary.c_str());
            return "cannot write " + temporary + ": " + reason;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    // mkstemp's 0600 would keep other readers of the dump out.
    ::fchmod(descriptor, 0644);
    ::close(descriptor);
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        ::unlink(temporary.c_str());
        return "cannot replace " + file.string() + ": " + error.message();
    }
    return {};
}

}  // namespace lanternwick::sim
