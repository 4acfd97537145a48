// Our bytes judged by liblo and oscpack, and theirs decoded by us.

#include <gtest/gtest.h>

#include <lo/lo.h>
#include <osc/OscOutboundPacketStream.h>
#include <osc/OscReceivedElements.h>

#include <array>
#include <cstring>
#include <memory>

#include "osc/OSCPacket.h"

namespace lanternwick {
namespace {

struct LoMessageFree {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using LoMessage = std::unique_ptr<std::remove_pointer_t<lo_message>, LoMessageFree>;

struct LoBlobFree {
    void operator()(lo_blob b) const { lo_blob_free(b); }
};
using LoBlob = std::unique_ptr<std::remove_pointer_t<lo_blob>, LoBlobFree>;

OSCBytes ours(const OSCMessage& message) { return message.rawData().value(); }

LoMessage readWithLiblo(OSCBytes bytes) {
    int result = 0;
    LoMessage message(lo_message_deserialise(bytes.data(), bytes.size(), &result));
    EXPECT_EQ(result, 0);
    EXPECT_NE(message, nullptr);
    return message;
}

OSCBytes writtenByLiblo(lo_message message, const char* path) {
    std::size_t size = 0;
    void* data = lo_message_serialise(message, path, nullptr, &size);
    OSCBytes bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    std::free(data);
    return bytes;
}

OSCMessage decodedMessage(const OSCBytes& bytes) {
    auto decoded = OSCMessage::decode(bytes);
    EXPECT_TRUE(decoded.ok()) << (decoded.ok() ? "" : decoded.error().description());
    return decoded.ok() ? decoded.value() : OSCMessage("/");
}

const std::vector<std::uint8_t> fourBytes{0xC0, 0xDB, 0x00, 0x7F};
const std::vector<std::uint8_t> fiveBytes{1, 2, 3, 4, 5};

OSCMessage everyKindLibloKnows() {
    return OSCMessage("/interop/all",
                      {"Cue 1 / 12 Label Intro Enter", std::int32_t{-123456}, 2.5f, std::int64_t{-9876543210},
                       -0.125, OSCBlob(fourBytes), std::int32_t{77}, OSCBlob(fiveBytes), true, false,
                       OSCNullValue{}, OSCImpulseValue{}, OSCTimeTag{0, 0x8000000140000000},
                       *ASCIICharacter::fromCode('Q'), OSCMIDIValue{3, 0x90, 60, 100}, OSCStringAltValue{"sym"},
                       "tail"});
}

TEST(OSCInteropLiblo, EveryKindLibloWritesBothWays) {
    LoMessage message(lo_message_new());
    LoBlob four(lo_blob_new(4, fourBytes.data()));
    LoBlob five(lo_blob_new(5, fiveBytes.data()));
    std::uint8_t midi[4] = {3, 0x90, 60, 100};
    ASSERT_EQ(lo_message_add(message.get(), "sifhdbibTFNItcmSs", "Cue 1 / 12 Label Intro Enter", -123456, 2.5f,
                             std::int64_t{-9876543210}, -0.125, four.get(), 77, five.get(),
                             lo_timetag{0x80000001u, 0x40000000u}, 'Q', midi, "sym", "tail"),
              0);

    const auto bytes = writtenByLiblo(message.get(), "/interop/all");
    const auto decoded = decodedMessage(bytes);
    EXPECT_EQ(decoded, everyKindLibloKnows());
    // A received message goes back out exactly as it came in.
    EXPECT_EQ(decoded.rawData().value(), bytes);
    // Byte for byte what we would have written ourselves, so liblo reads ours
    // as it reads its own; the argument after a whole-word blob included.
    EXPECT_EQ(ours(everyKindLibloKnows()), bytes);
}

TEST(OSCInteropLiblo, NoArgumentsAndEmptyArguments) {
    const auto blind = readWithLiblo(ours(OSCMessage("/eos/user/0/key/blind")));
    ASSERT_NE(blind, nullptr);
    EXPECT_EQ(lo_message_get_argc(blind.get()), 0);

    const auto empties = readWithLiblo(ours(OSCMessage("/e", {"", OSCBlob{}, "x"})));
    ASSERT_NE(empties, nullptr);
    EXPECT_STREQ(&lo_message_get_argv(empties.get())[0]->s, "");
    EXPECT_EQ(lo_blob_datasize(reinterpret_cast<lo_blob>(lo_message_get_argv(empties.get())[1])), 0u);
    EXPECT_STREQ(&lo_message_get_argv(empties.get())[2]->s, "x");
}

// Both sides count NTP time from 1900-01-01 UTC.
TEST(OSCInteropLiblo, CurrentTimeAgreesWithLiblo) {
    lo_timetag theirs;
    lo_timetag_now(&theirs);
    const auto mine = OSCTimeTag::now();
    const double theirSeconds = theirs.sec + theirs.frac / 4294967296.0;
    const double mySeconds = static_cast<double>(mine.rawValue) / 4294967296.0;
    EXPECT_NEAR(mySeconds, theirSeconds, 1.0);
}

OSCBytes writtenByOscpack(const std::function<void(osc::OutboundPacketStream&)>& write) {
    std::array<char, 2048> buffer{};
    osc::OutboundPacketStream stream(buffer.data(), buffer.size());
    write(stream);
    return OSCBytes(buffer.data(), buffer.data() + stream.Size());
}

TEST(OSCInteropOscpack, ArraysAndEveryKindOscpackWritesBothWays) {
    const auto bytes = writtenByOscpack([](osc::OutboundPacketStream& s) {
        s << osc::BeginMessage("/interop/oscpack") << "Intro" << osc::int32(3) << 1.25f << osc::int64(-5) << 2.0
          << osc::Blob(fourBytes.data(), 4) << osc::int32(9) << true << false << osc::OscNil << osc::Infinitum
          << osc::TimeTag(0x0000000100000002) << 'z' << osc::MidiMessage(0x01903C7F) << osc::Symbol("s")
          << osc::BeginArray << osc::int32(1) << osc::BeginArray << "in" << 2.5f << osc::EndArray << osc::EndArray
          << osc::EndMessage;
    });
    const auto decoded = decodedMessage(bytes);
    const OSCMessage expected(
        "/interop/oscpack",
        {"Intro", 3, 1.25f, std::int64_t{-5}, 2.0, OSCBlob(fourBytes), 9, true, false, OSCNullValue{},
         OSCImpulseValue{}, OSCTimeTag{0, 0x0000000100000002}, *ASCIICharacter::fromCode('z'),
         OSCMIDIValue{0x01, 0x90, 0x3C, 0x7F}, OSCStringAltValue{"s"}, OSCArrayValue({1, OSCArrayValue({"in", 2.5f})})});
    EXPECT_EQ(decoded, expected);
    // Equal bytes: oscpack reads ours as it reads its own.
    EXPECT_EQ(ours(expected), bytes);
}

TEST(OSCInteropOscpack, BundlesBothWays) {
    const OSCMessage first("/eos/out/get/cue/1/12", {"uid-12", 0, "Intro", ""});
    const OSCBundle bundle({first, OSCBundle({OSCMessage("/inner", {7})}, OSCTimeTag{0, 99})}, OSCTimeTag{0, 1234});
    const auto bytes = bundle.rawData().value();

    // Equal bytes: oscpack reads ours as it reads its own.
    const auto theirs = writtenByOscpack([](osc::OutboundPacketStream& s) {
        s << osc::BeginBundle(1234) << osc::BeginMessage("/eos/out/get/cue/1/12") << "uid-12" << osc::int32(0)
          << "Intro" << "" << osc::EndMessage << osc::BeginBundle(99) << osc::BeginMessage("/inner") << osc::int32(7)
          << osc::EndMessage << osc::EndBundle << osc::EndBundle;
    });
    EXPECT_EQ(theirs, bytes);
    const auto decoded = OSCPacket::decode(theirs);
    ASSERT_TRUE(decoded.ok() && decoded.value().has_value());
    EXPECT_EQ(*decoded.value()->bundle(), bundle);
}

}  // namespace
}  // namespace lanternwick
