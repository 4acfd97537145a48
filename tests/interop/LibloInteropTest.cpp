// liblo as the console, over TCP in packet-length framing: it reads the
// lines our client sends, and our client reads the cue reply liblo writes,
// split in two as the console splits a long one.

#include <lo/lo.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eos/EosOSCClient.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

struct LibloConsole {
    std::mutex mutex;
    // "address" or "address|string argument"
    std::vector<std::string> received;
    lo_server_thread thread = nullptr;

    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return received;
    }
};

// The base cue's 30 values from `from` to `to`, as the console lists them.
void addBaseCueValues(lo_message message, int from, int to) {
    for (int i = from; i < to; ++i) {
        switch (i) {
        case 1: lo_message_add_string(message, "uid-5"); break;
        case 2: lo_message_add_string(message, "Intro"); break;
        case 3: lo_message_add_int32(message, 3000); break;
        case 25: lo_message_add_string(message, "00:00:10:00"); break;
        case 13: case 22: case 24: case 29: lo_message_add_false(message); break;
        case 16: case 17: case 18: case 19: case 27: case 28: lo_message_add_string(message, ""); break;
        default: lo_message_add_int32(message, i == 0 ? 4 : 0);
        }
    }
}

int onMessage(const char* path, const char* types, lo_arg** argv, int argc, lo_message message, void* data) {
    auto& console = *static_cast<LibloConsole*>(data);
    std::string text = path;
    if (argc == 1 && types[0] == 's') text += "|" + std::string(&argv[0]->s);
    {
        std::lock_guard lock(console.mutex);
        console.received.push_back(text);
    }
    const lo_address source = lo_message_get_source(message);
    const lo_server server = lo_server_thread_get_server(console.thread);
    // As the console does: the same arguments back, which is what tells our
    // client that a console, not just any listener, is there.
    if (std::string_view(path) == "/eos/ping") {
        lo_send_message_from(source, server, "/eos/out/ping", message);
    }
    if (std::string_view(path) == "/eos/get/cue/1/5") {
        for (const auto& [from, to, address] : {std::tuple{0, 20, "/eos/out/get/cue/1/5/0/list/0/30"},
                                               std::tuple{20, 30, "/eos/out/get/cue/1/5/0/list/20/30"}}) {
            const lo_message reply = lo_message_new();
            addBaseCueValues(reply, from, to);
            lo_send_message_from(source, server, address, reply);
            lo_message_free(reply);
        }
    }
    return 0;
}

TEST(LibloInterop, ReadsWhatWeSendInPacketLengthFramingAndWeReadItsSplitReply) {
    LibloConsole console;
    console.thread = lo_server_thread_new_with_proto(nullptr, LO_TCP, nullptr);
    ASSERT_NE(console.thread, nullptr);
    lo_server_thread_add_method(console.thread, nullptr, nullptr, onMessage, &console);
    ASSERT_EQ(lo_server_thread_start(console.thread), 0);

    auto queue = std::make_shared<RunLoopMainQueue>();
    auto client = EosOSCClient::create(queue);
    std::vector<IncomingOSCMessage> replies;
    client->setCallbacks({.onIncomingCueMessage = [&](const IncomingOSCMessage& m) { replies.push_back(m); }});
    client->setFraming(EosFraming::packetLength, false);
    client->configure("127.0.0.1", static_cast<std::uint16_t>(lo_server_thread_get_port(console.thread)), false);
    client->sendCommandLine("$ Cue 1 / 5 Label Grüße #");
    client->sendAddress("/eos/get/cue/1/5");
    EXPECT_TRUE(queue->runUntil([&] { return !replies.empty(); }, 10s)) << "liblo got: " << console.snapshot().size();

    std::vector<std::string> received = console.snapshot();
    std::erase_if(received, [](const std::string& text) { return text.starts_with("/eos/ping"); });
    EXPECT_EQ(received, (std::vector<std::string>{"/eos/user/0/key/blind", "/eos/user/0/newcmd|$ Cue 1 / 5 Label Grusse #",
                                                  "/eos/get/cue/1/5"}));
    ASSERT_EQ(replies.size(), 1u) << "the two messages are one reply";
    EXPECT_EQ(replies[0].cueList, 1);
    EXPECT_EQ(replies[0].cueNumber, "5");
    EXPECT_EQ(replies[0].cuePart, 0);
    EXPECT_EQ(replies[0].label, "Intro");
    EXPECT_EQ(replies[0].upTimeMs, 3000);
    EXPECT_EQ(replies[0].timecode, "00:00:10:00");
    EXPECT_EQ(replies[0].missingValues, 0u);

    client.reset();
    queue->runFor(50ms);
    lo_server_thread_free(console.thread);
}

}  // namespace
}  // namespace lanternwick
