#pragma once
// CueReply: the console's answers to cue queries, as the user reads them.
//
// The console answers /eos/get/cue/<list>/<cue> once for the base cue and once
// per part, at /eos/out/get/cue/<list>/<cue>/<part>/list/<index>/<count>: a
// list of <count> values of which this message carries the ones from
// <index> on. It keeps its packets to 512 bytes, so one list may come in
// several messages. For the base cue (part 0) the list holds 30 values whose
// positions are fixed; the label is the third, the up time in milliseconds
// the fourth and the timecode the twenty-sixth. The older six-piece form
// /eos/out/get/cue/<list>/<cue> is reported as it comes.
//
// CueReplyAssembler gathers the messages of one list and reports it once
// every value is in, or with what it has one second after its first message.
// Bounds, because a console (or whatever answers in its place) may send
// anything: at most 64 lists wait at once (a 65th reports the oldest as it
// is); a list waits only when its count is at most 1024 and its index below
// it, otherwise the message is reported on its own; values beyond the count
// and values overlapping ones already in are not kept; a waiting list holding
// more than 64 KiB is reported at once. A value of the wrong kind at a
// documented position leaves that field out. Main thread only; made by
// create() and held by a shared_ptr, which its timers hold weakly.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "osc/OSCValue.h"
#include "support/MainQueue.h"

namespace lanternwick {

class OSCMessage;
struct ReceivedReply;

// A cue reply address: the list and cue of both forms; part, index and count
// only in the list form (absent when one of them is not a number the list
// form allows).
struct CueReplyAddress {
    std::int64_t cueList = 0;
    std::string cueNumber;
    std::optional<std::int64_t> part;
    std::optional<std::size_t> index;
    std::optional<std::size_t> count;

    friend bool operator==(const CueReplyAddress&, const CueReplyAddress&) = default;
};
// Nothing for an address that is not a cue reply.
std::optional<CueReplyAddress> parseCueReplyAddress(std::string_view address);

// One reply as it is reported.
struct CueReply {
    // The address of its first message.
    std::string address;
    std::int64_t cueList = 0;
    std::string cueNumber;
    std::optional<std::int64_t> part;
    std::optional<std::string> label;
    std::optional<std::int64_t> upTimeMs;
    std::optional<std::string> timecode;
    // How many values of the announced list never came.
    std::size_t missingValues = 0;
};

class CueReplyAssembler : public std::enable_shared_from_this<CueReplyAssembler> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // With the reply's values in list order (for a list reported before it
    // was whole, the ones that came); a lone message's are lent, not copied,
    // since a hostile one may hold a million.
    using Report = std::function<void(CueReply reply, const std::vector<OSCValue>& values)>;

    static constexpr std::size_t pendingLimit = 64;
    static constexpr std::size_t listCountLimit = 1024;
    static constexpr std::size_t pendingBytesLimit = 64 * 1024;
    static constexpr MainQueue::Duration waitForParts = std::chrono::seconds(1);

    static std::shared_ptr<CueReplyAssembler> create(std::shared_ptr<MainQueue> mainQueue, Report report);
    CueReplyAssembler(Passkey, std::shared_ptr<MainQueue> mainQueue, Report report);
    ~CueReplyAssembler();

    CueReplyAssembler(const CueReplyAssembler&) = delete;
    CueReplyAssembler& operator=(const CueReplyAssembler&) = delete;

    // Takes one received message; anything that is not a cue reply is ignored.
    void take(const OSCMessage& message);

    std::size_t pendingCount() const { return pending_.size(); }

private:
    struct Pending {
        std::uint64_t serial = 0;
        CueReplyAddress address;
        std::string firstAddress;
        // Runs of values by the list position they start at.
        std::map<std::size_t, std::vector<OSCValue>> runs;
        std::size_t valueCount = 0;
        std::size_t bytes = 0;
        int ticks = 0;
    };
    using Key = std::tuple<std::int64_t, std::string, std::int64_t>;

    void start(const Key& key, const CueReplyAddress& address, const OSCMessage& message);
    void add(Pending& pending, std::size_t index, const std::vector<OSCValue>& values);
    void finish(const Key& key);
    void armTick();
    void tick();

    // A list waits between one second and a tick more.
    static constexpr int ticksToWait = 4;

    std::shared_ptr<MainQueue> mainQueue_;
    Report report_;
    std::map<Key, Pending> pending_;
    std::uint64_t nextSerial_ = 0;
    std::optional<CancelHandle> tick_;
};

// "cue 1/5: label Intro, time 3 s, timecode 00:00:10:00", with " part 2"
// after the cue for a part, ", 12 values missing" when some never
// came, and the values text in place of the fields when none was given.
// Nothing for a reply in the six-piece form, which reads as its address and
// values.
std::optional<std::string> cueReplySummary(const ReceivedReply& reply);

// "3 s", "1.5 s", "0.04 s": milliseconds as seconds, without trailing zeros.
std::string secondsText(std::int64_t milliseconds);

}  // namespace lanternwick
