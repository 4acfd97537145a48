// Long texts through the logs and the output: two saves of the marker file
// and one cue reply, run through the monitor (a link that reports every line
// sent) and the real Eos client, then every record written as the headless
// output writes it. Checks: every text a log keeps is within the cap, a
// reply's values text is exactly the cap of the whole rendering, the capped
// builder agrees with cappedText, and no output line is longer than its
// record's kept texts can make it.
//
// Input: previous save, NUL, new save, NUL, reply recipe. In the saves, the
// byte 0x01 followed by a byte c stands for 3,000 copies of c, so that short
// inputs make long labels. Each recipe byte adds one reply value: 'i'
// Impulse, 'N' null, 'T' true, 'f' a float, 'h' a 64-bit integer, and any
// other byte c a string of c repeated (c * 40) times.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "FuzzCheck.h"
#include "eos/EosOSCClient.h"
#include "headless/HeadlessRecordFormat.h"
#include "monitor/LightingFileMonitor.h"
#include "osc/OSCMessage.h"
#include "soak/SendingLink.h"
#include "support/RunLoopMainQueue.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using fuzz::require;

// The cut text, "…" and the count of the rest.
constexpr std::size_t keptMost = keptTextLimit + 37;

class OneFile final : public FileSystem {
public:
    bool fileExists(const std::filesystem::path&) const override { return true; }
    Result<std::string, std::string> readFile(const std::filesystem::path&) const override { return text; }
    std::string text;
};

std::string expanded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x01' && i + 1 < text.size()) {
            out.append(3000, text[++i]);
        } else {
            out += text[i];
        }
    }
    return out;
}

std::size_t kept(const std::string& text) {
    require(text.size() <= keptMost, "a kept text is within the cap");
    return text.size();
}

std::size_t kept(const std::optional<std::string>& text) { return text ? kept(*text) : 0; }

std::size_t keptBytes(const LightingChangeEvent& event) {
    std::size_t bytes = kept(event.summary) + kept(event.details);
    for (const LightingAction& a : event.actions) {
        bytes += kept(a.summary) + kept(a.details) + kept(a.oldCueID) + kept(a.newCueID) + kept(a.oldLabel) +
                 kept(a.newLabel) + kept(a.oldFadeTime) + kept(a.newFadeTime) + kept(a.oldFadeOutTime) +
                 kept(a.newFadeOutTime) + kept(a.oldPosition) + kept(a.newPosition) + 256;
    }
    return bytes;
}

std::size_t keptBytes(const SyncOutcome& outcome) {
    struct Counter {
        std::size_t operator()(const LineOutcome& l) const { return kept(l.address) + kept(l.text) + kept(l.reason); }
        std::size_t operator()(const SkippedCommand& s) const { return kept(s.cue) + kept(s.what) + kept(s.reason); }
        std::size_t operator()(const ConnectionChange& c) const { return kept(c.host) + kept(c.status.reason); }
        std::size_t operator()(const ReceivedReply& r) const {
            return kept(r.address) + kept(r.valuesText) + kept(r.cue) + kept(r.label) +
                   kept(r.timecode);
        }
        std::size_t operator()(const DeletionQuestion& q) const { return kept(q.cue); }
        // Ids only, at most confirmedIdLimit of them; each is written as 36 characters.
        std::size_t operator()(const DeliveryConfirmed& d) const { return d.sentOutcomes.size() * 36 + 64; }
    };
    return std::visit(Counter{}, outcome.detail);
}

// Escaping writes a byte as at most six ("\u0000"); the rest is the record's
// own framing.
void requireBoundedOutput(std::size_t keptBytes, std::initializer_list<std::string> outputs) {
    for (const std::string& output : outputs) {
        require(output.size() <= 1024 + 6 * keptBytes, "an output line is made of the kept texts");
    }
}

OSCMessage replyFrom(std::string_view recipe) {
    std::vector<OSCValue> values;
    for (const char c : recipe) {
        switch (c) {
            case 'i': values.emplace_back(OSCImpulseValue{}); break;
            case 'N': values.emplace_back(OSCNullValue{}); break;
            case 'T': values.emplace_back(true); break;
            case 'f': values.emplace_back(1.5f); break;
            case 'h': values.emplace_back(std::int64_t{-1} << 40); break;
            default: values.emplace_back(std::string(static_cast<unsigned char>(c) * std::size_t{40}, c)); break;
        }
    }
    return OSCMessage("/eos/out/get/cue/1/5", std::move(values));
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\0');
    const std::size_t second = first == std::string_view::npos ? first : input.find('\0', first + 1);
    const std::string_view previous = input.substr(0, first);
    const std::string_view next = first == std::string_view::npos ? std::string_view() : input.substr(first + 1, second - first - 1);
    const std::string_view recipe = second == std::string_view::npos ? std::string_view() : input.substr(second + 1);

    // The builder against cappedText, at a limit the input chooses.
    const std::size_t limit = size % 64;
    CappedTextBuilder built(limit);
    built.append(previous);
    built.append(next);
    built.append(recipe);
    require(built.text() == cappedText(std::string(previous) + std::string(next) + std::string(recipe), limit),
            "the builder gives cappedText of the whole");

    const auto queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    const auto file = std::make_shared<OneFile>();
    auto settings = std::make_shared<InMemorySettingsStore>();
    settings->setString("tempolaneFilePath", "/show/Lighting.xml");
    settings->setBool("optSyncLabels", true);
    settings->setBool("optUpdateOnConnect", true);
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.settings = settings;
    dependencies.fileSystem = file;
    dependencies.eosLink = std::make_shared<soak::SendingLink>();
    dependencies.pollTimer = pollTimerOn(queue);
    dependencies.fileWatcher = noFileWatcher();
    const auto monitor = LightingFileMonitor::create(dependencies);
    for (const std::string_view save : {previous, next}) {
        file->text = expanded(save);
        monitor->pollOnce();
    }

    const OSCMessage reply = replyFrom(recipe);
    // The rendering without a cap, from the values as the message holds them.
    std::string whole;
    for (std::size_t i = 0; i < reply.values().size(); ++i) {
        whole += (i > 0 ? ", " : "") + reply.values()[i].plainText();
    }
    const auto client = EosOSCClient::create(queue);
    dependencies.eosLink = client;
    const auto replies = LightingFileMonitor::create(dependencies);
    client->handleIncomingMessage(reply);
    require(replies->incomingOSCMessages().size() == 1, "the reply is logged");
    const std::string expected = whole.empty() ? std::string(noValuesText) : cappedText(whole);
    require(replies->incomingOSCMessages()[0].valuesText == expected, "the values text is the cap of the whole");

    for (const auto* logs : {monitor.get(), replies.get()}) {
        for (const LightingChangeEvent& event : logs->events()) {
            requireBoundedOutput(keptBytes(event), {headlessEventText(event), eventJsonLine(event)});
        }
        for (const SyncOutcome& outcome : logs->outcomes()) {
            requireBoundedOutput(keptBytes(outcome), {headlessOutcomeText(outcome.detail), outcomeJsonLine(outcome)});
        }
        for (const OutgoingOSCMessage& message : logs->outgoingOSCMessages()) {
            kept(message.address);
            kept(message.valuesText);
        }
    }
    return 0;
}
