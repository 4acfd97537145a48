// lanternwick without the window: the build without Qt has only the headless
// mode, and nothing to persist settings in, so every run starts from the
// defaults and its flags.

#include <string>
#include <vector>

#include "headless/HeadlessRunner.h"
#include "headless/StandardStreams.h"
#include "monitor/SettingsStore.h"

int main(int argc, char** argv) {
    lanternwick::openClosedStandardStreams();
    const std::vector<std::string> args(argv + 1, argv + argc);
    lanternwick::InMemorySettingsStore store;
    return lanternwick::runHeadless(args, store);
}
