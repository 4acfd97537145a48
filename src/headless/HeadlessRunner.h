#pragma once
// runHeadless: Lanternwick without a window. Parses the command-line flags,
// builds one LightingFileMonitor on a real-clock RunLoopMainQueue driven by
// the calling thread, starts monitoring at once and prints one line per change
// event, per sent message and per received cue reply until SIGINT or SIGTERM.
// The caller owns the store; flags given on the command line override it for
// this run only and are never written back. The deletion question is asked on
// the terminal when standard input is one, otherwise answered No unless
// --assume-yes is given. Call it from the thread that should run the monitor;
// it returns only when the run ends.
//
// Exit status: 0 after a clean stop, 2 for bad flags or a marker file that
// fails validation (the message goes to standard error).

#include <string>
#include <vector>

namespace lanternwick {

class SettingsStore;

// args are the program's arguments without the program name; "--headless"
// itself is accepted and ignored so that the app's main can pass everything.
int runHeadless(const std::vector<std::string>& args, SettingsStore& store);

}  // namespace lanternwick
