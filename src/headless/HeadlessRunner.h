#pragma once
// runHeadless: Lanternwick without a window. Parses the command-line flags,
// builds one LightingFileMonitor on a real-clock RunLoopMainQueue driven by
// the calling thread, starts monitoring at once and prints one record per
// change event and per sync outcome (text, or JSON Lines with --json) until
// SIGINT or SIGTERM. The caller owns the store; flags given on the command
// line override it for this run only and are never written back. The
// deletion question is asked on the terminal device (the controlling
// terminal), never on standard output; without one every deletion is
// declined and reported as skipped, unless --assume-yes or --assume-no
// answers for the whole run. Call it from the thread that should run the
// monitor; it returns only when the run ends.
//
// Exit status: 0 after a clean stop, 2 for bad flags or a marker file that
// fails validation (the message goes to standard error).

#include <filesystem>
#include <string>
#include <vector>

namespace lanternwick {

class SettingsStore;

// args are the program's arguments without the program name; "--headless"
// itself is accepted and ignored so that the app's main can pass everything.
// `terminal` is where the deletion question is asked.
int runHeadless(const std::vector<std::string>& args, SettingsStore& store,
                const std::filesystem::path& terminal = "/dev/tty");

}  // namespace lanternwick
