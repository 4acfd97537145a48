#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "osc/OSCPacket.h"
#include "osc/OSCSerialization.h"

namespace lanternwick {
namespace {

// Messages are encoded on whichever thread sends them; the shared
// transliterator must give every thread the right text.
TEST(OSCConcurrency, TransliterationFromManyThreads) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Café déjà vu", "Cafe deja vu"}, {"Straße", "Strasse"}, {"Ærø", "AEro"}, {"naïve\tcopy", "naive?copy"}};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) {
                const auto& [text, expected] = cases[static_cast<std::size_t>(t + i) % cases.size()];
                if (convertToPrintableASCII(text) != expected) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(OSCConcurrency, DecodingWhileAKindIsRegistered) {
    const auto bytes = OSCMessage("/eos/out/get/cue/1/12", {"Intro", 12, OSCArrayValue({1, 2})}).rawData().value();
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const auto decoded = OSCMessage::decode(bytes);
                if (!decoded.ok() || decoded->values().size() != 3) {
                    ++failures;
                }
            }
        });
    }
    const auto registered = OSCSerialization::shared().registerKind(
        {"Probe", OSCValueTagIdentity::tag('p'), OSCValueToken::null, {}, {}});
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_TRUE(registered.ok());
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace lanternwick
