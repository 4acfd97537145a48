#pragma once
// HeadlessReporter: prints what the monitor does, for a terminal or a script.
// Every change event and every sync outcome (a line sent, held or dropped, a
// command skipped, a cue reply, a connection change, a deletion question)
// becomes one record on `out`, in the order the monitor recorded them: in
// text, a line that starts with the local time ("14:02:03.481 -> sent ..."),
// an event's details on the lines below it, indented; in JSON, one object per
// line (see HeadlessRecordFormat.h). Connection failures and file problems
// (a deleted or unreadable marker file) also go to `err` as one plain line;
// a failure that repeats the last one printed there is not printed again
// until the link has been up in between.
// Watches the monitor through its observer mechanism, each entry once, so it
// only reports what is recorded after it was made. Owned by the headless run;
// main thread only; must not outlive the monitor (it removes its observer
// when destroyed).

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "headless/HeadlessRecordFormat.h"
#include "monitor/LightingFileMonitor.h"

namespace lanternwick {

// Where the records and the notes go: standard output and standard error in
// a run (through buffers that never block it), streams in tests.
class RecordOutput {
public:
    virtual ~RecordOutput() = default;
    // One whole record, its line feeds included.
    virtual void record(std::string_view text) = 0;
    // One line for standard error, without its line feed.
    virtual void note(std::string_view line) = 0;
};

class StreamRecordOutput final : public RecordOutput {
public:
    StreamRecordOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void record(std::string_view text) override { out_ << text << std::flush; }
    void note(std::string_view line) override { err_ << line << '\n' << std::flush; }

private:
    std::ostream& out_;
    std::ostream& err_;
};

class HeadlessReporter {
public:
    enum class Format { text, json };

    HeadlessReporter(LightingFileMonitor& monitor, RecordOutput& output, Format format);
    HeadlessReporter(LightingFileMonitor& monitor, std::ostream& out, std::ostream& err, Format format);
    ~HeadlessReporter();

    HeadlessReporter(const HeadlessReporter&) = delete;
    HeadlessReporter& operator=(const HeadlessReporter&) = delete;

    void report(MonitorField field);

private:
    HeadlessReporter(LightingFileMonitor& monitor, std::unique_ptr<RecordOutput> own, RecordOutput* output,
                     Format format);
    void reportEvents();
    void reportOutcomes();
    void reportEvent(const LightingChangeEvent& event);
    void reportOutcome(const SyncOutcome& outcome);
    void warnAboutFile(const LightingChangeEvent& event);
    void warnAboutConnection(const ConnectionChange& change);

    LightingFileMonitor& monitor_;
    std::unique_ptr<RecordOutput> ownOutput_;
    RecordOutput& output_;
    Format format_;
    LightingFileMonitor::ObserverId observer_;
    std::optional<Uuid> lastEvent_;
    std::optional<Uuid> lastOutcome_;
    std::optional<std::string> lastConnectionWarning_;
};

}  // namespace lanternwick
