#include "eos/CueReply.h"

#include <cmath>

#include "eos/SyncOutcome.h"
#include "markers/ConsoleCue.h"
#include "osc/OSCMessage.h"
#include "support/IntegerText.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

// Positions in the base cue's list.
constexpr std::size_t labelPosition = 2;
constexpr std::size_t upTimePosition = 3;
constexpr std::size_t timecodePosition = 25;

std::vector<std::string_view> addressPieces(std::string_view address) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= address.size()) {
        const std::size_t slash = address.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? address.size() : slash;
        if (end > start) {
            pieces.push_back(address.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return pieces;
}

std::size_t keptBytes(const OSCValue& value) {
    std::size_t bytes = sizeof(OSCValue);
    if (const auto* text = value.getIf<std::string>()) {
        bytes += text->size();
    } else if (const auto* blob = value.getIf<OSCBlob>()) {
        bytes += blob->size();
    } else if (const auto* alt = value.getIf<OSCStringAltValue>()) {
        bytes += alt->string.size();
    } else if (const auto* array = value.asArray()) {
        for (const OSCValue& element : array->elements) {
            bytes += keptBytes(element);
        }
    }
    return bytes;
}

std::optional<std::string> textAt(const std::vector<std::optional<const OSCValue*>>& at, std::size_t position) {
    if (position >= at.size() || !at[position]) {
        return std::nullopt;
    }
    const auto text = (*at[position])->asString();
    if (!text) {
        return std::nullopt;
    }
    return cappedText(*text);
}

std::optional<std::int64_t> millisecondsAt(const std::vector<std::optional<const OSCValue*>>& at,
                                           std::size_t position) {
    if (position >= at.size() || !at[position]) {
        return std::nullopt;
    }
    const OSCValue& value = **at[position];
    double number = 0;
    if (const auto v = value.getIf<std::int32_t>()) {
        number = *v;
    } else if (const auto v = value.getIf<std::int64_t>()) {
        number = static_cast<double>(*v);
    } else if (const auto v = value.getIf<float>()) {
        number = *v;
    } else if (const auto v = value.getIf<double>()) {
        number = *v;
    } else {
        return std::nullopt;
    }
    // A duration of more than a year is no cue time.
    if (!std::isfinite(number) || number < 0 || number > 366.0 * 24 * 3600 * 1000) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(number));
}

// The documented fields of a base cue's list, from the values at their positions.
void takeFields(CueReply& reply, const std::vector<std::optional<const OSCValue*>>& at) {
    if (reply.part != 0) {
        return;
    }
    reply.label = textAt(at, labelPosition);
    reply.upTimeMs = millisecondsAt(at, upTimePosition);
    reply.timecode = textAt(at, timecodePosition);
}

CueReply loneReply(const CueReplyAddress& address, const OSCMessage& message) {
    CueReply reply{message.address(), address.cueList, address.cueNumber};
    if (address.index && address.count) {
        reply.part = address.part;
        // The values from the list's start: the fields are where the list puts them.
        if (*address.index == 0) {
            std::vector<std::optional<const OSCValue*>> at;
            const auto& values = message.values();
            for (std::size_t i = 0; i < values.size() && i <= timecodePosition; ++i) {
                at.push_back(&values[i]);
            }
            takeFields(reply, at);
        }
    }
    return reply;
}

}  // namespace

std::optional<CueReplyAddress> parseCueReplyAddress(std::string_view address) {
    const auto pieces = addressPieces(address);
    const bool listForm = pieces.size() == 10 && pieces[7] == "list";
    if ((pieces.size() != 6 && !listForm) || pieces[0] != "eos" || pieces[1] != "out" || pieces[2] != "get" ||
        pieces[3] != "cue") {
        return std::nullopt;
    }
    const auto list = parseInteger<std::int64_t>(pieces[4], PlusSign::allowed);
    if (!list) {
        return std::nullopt;
    }
    // Only a cue number names a cue we asked about; anything else in its
    // place (a line end and words of its own) would be shown as if it did.
    std::string cue = trimmed(pieces[5]);
    if (!isConsoleCueNumber(cue)) {
        return std::nullopt;
    }
    CueReplyAddress reply{*list, std::move(cue)};
    if (listForm) {
        const auto part = parseInteger<std::size_t>(pieces[6]);
        const auto index = parseInteger<std::size_t>(pieces[8]);
        const auto count = parseInteger<std::size_t>(pieces[9]);
        if (part && *part <= static_cast<std::size_t>(INT64_MAX) && index && count && *index < *count) {
            reply.part = static_cast<std::int64_t>(*part);
            reply.index = index;
            reply.count = count;
        }
    }
    return reply;
}

std::shared_ptr<CueReplyAssembler> CueReplyAssembler::create(std::shared_ptr<MainQueue> mainQueue, Report report) {
    return std::make_shared<CueReplyAssembler>(Passkey{}, std::move(mainQueue), std::move(report));
}

CueReplyAssembler::CueReplyAssembler(Passkey, std::shared_ptr<MainQueue> mainQueue, Report report)
    : mainQueue_(std::move(mainQueue)), report_(std::move(report)) {}

CueReplyAssembler::~CueReplyAssembler() {
    if (tick_) {
        tick_->cancel();
    }
}

void CueReplyAssembler::take(const OSCMessage& message) {
    const auto address = parseCueReplyAddress(message.address());
    if (!address) {
        return;
    }
    if (!address->count || *address->count > listCountLimit) {
        report_(loneReply(*address, message), message.values());
        return;
    }
    const Key key{address->cueList, address->cueNumber, *address->part};
    const auto it = pending_.find(key);
    // A list starting again is the next reply to the same cue: the one before
    // it is as whole as it will get.
    const bool startsAgain = *address->index == 0 && !message.values().empty();
    if (it != pending_.end() && ((startsAgain && it->second.runs.contains(0)) ||
                                 it->second.address.count != address->count)) {
        finish(key);
    }
    if (!pending_.contains(key)) {
        start(key, *address, message);
    }
    Pending& pending = pending_.at(key);
    add(pending, *address->index, message.values());
    if (pending.valueCount == *address->count || pending.bytes > pendingBytesLimit) {
        finish(key);
    }
}

void CueReplyAssembler::start(const Key& key, const CueReplyAddress& address, const OSCMessage& message) {
    if (pending_.size() >= pendingLimit) {
        const auto oldest = std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
            return a.second.serial < b.second.serial;
        });
        finish(oldest->first);
    }
    Pending& pending = pending_[key];
    pending.serial = ++nextSerial_;
    pending.address = address;
    pending.firstAddress = message.address();
    armTick();
}

// One timer for all waiting lists, so that a flood of half replies leaves no
// trail of cancelled timers behind.
void CueReplyAssembler::armTick() {
    if (tick_ || pending_.empty()) {
        return;
    }
    const std::weak_ptr<CueReplyAssembler> weak = weak_from_this();
    tick_ = mainQueue_->asyncAfter(waitForParts / ticksToWait, [weak] {
        if (const auto self = weak.lock()) {
            self->tick();
        }
    });
}

void CueReplyAssembler::tick() {
    tick_.reset();
    std::vector<Key> due;
    for (auto& [key, pending] : pending_) {
        if (++pending.ticks > ticksToWait) {
            due.push_back(key);
        }
    }
    for (const Key& key : due) {
        finish(key);
    }
    armTick();
}

void CueReplyAssembler::add(Pending& pending, std::size_t index, const std::vector<OSCValue>& values) {
    const std::size_t count = *pending.address.count;
    const std::size_t end = std::min(count, index + std::min(values.size(), count));
    if (end <= index) {
        return;
    }
    // The run that starts after `index`, and the one before it, must leave
    // [index, end) free; a repeated or overlapping message keeps the first values.
    const auto next = pending.runs.lower_bound(index);
    if (next != pending.runs.end() && next->first < end) {
        return;
    }
    if (next != pending.runs.begin()) {
        const auto before = std::prev(next);
        if (before->first + before->second.size() > index) {
            return;
        }
    }
    std::vector<OSCValue> run(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(end - index));
    for (const OSCValue& value : run) {
        pending.bytes += keptBytes(value);
    }
    pending.valueCount += run.size();
    pending.runs.emplace(index, std::move(run));
}

void CueReplyAssembler::finish(const Key& key) {
    const auto it = pending_.find(key);
    if (it == pending_.end()) {
        return;
    }
    Pending pending = std::move(it->second);
    pending_.erase(it);

    CueReply reply{pending.firstAddress, pending.address.cueList, pending.address.cueNumber, pending.address.part};
    std::vector<std::optional<const OSCValue*>> at(std::min<std::size_t>(*pending.address.count, timecodePosition + 1));
    for (const auto& [start, run] : pending.runs) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            if (start + i < at.size()) {
                at[start + i] = &run[i];
            }
        }
    }
    takeFields(reply, at);
    std::vector<OSCValue> values;
    values.reserve(pending.valueCount);
    for (auto& [start, run] : pending.runs) {
        values.insert(values.end(), std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
    }
    reply.missingValues = *pending.address.count - pending.valueCount;
    report_(std::move(reply), values);
}

std::string secondsText(std::int64_t milliseconds) {
    std::string text = std::to_string(milliseconds / 1000);
    if (const std::int64_t fraction = milliseconds % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        while (digits.back() == '0') {
            digits.pop_back();
        }
        text += "." + digits;
    }
    return text + " s";
}

std::optional<std::string> cueReplySummary(const ReceivedReply& reply) {
    if (!reply.part || !reply.list || !reply.cue) {
        return std::nullopt;
    }
    std::string text = "cue " + std::to_string(*reply.list) + "/" + *reply.cue;
    if (*reply.part != 0) {
        text += " part " + std::to_string(*reply.part);
    }
    std::vector<std::string> fields;
    if (reply.label) {
        fields.push_back("label " + displayValue(*reply.label));
    }
    if (reply.upTimeMs) {
        fields.push_back("time " + secondsText(*reply.upTimeMs));
    }
    if (reply.timecode) {
        fields.push_back("timecode " + displayValue(*reply.timecode));
    }
    if (fields.empty()) {
        fields.push_back(reply.valuesText);
    }
    if (reply.missingValues > 0) {
        fields.push_back(std::to_string(reply.missingValues) + " values missing");
    }
    text += ": ";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += (i > 0 ? ", " : "") + fields[i];
    }
    return text;
}

}  // namespace lanternwick
