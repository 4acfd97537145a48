#pragma once
// runHeadless: Lanternwick without a window. Parses the command-line flags,
// builds one LightingFileMonitor on a real-clock RunLoopMainQueue driven by
// the calling thread, starts monitoring at once and prints one record per
// change event and per sync outcome (text, or JSON Lines with --json) until
// SIGINT or SIGTERM, after a start-up note that lists the options in force
// and where each comes from. The caller owns the store; it is only read:
// flags override it for this run, and whatever the run would write (the
// normalised host and port, say) stays in memory. Standard output and
// standard error are written through bounded buffers that never block the
// sync (see NonBlockingOutput.h); SIGPIPE is ignored for good. The run holds
// the ConsoleLock of its console, so a second copy for the same console
// refuses. The
// deletion question is asked on the terminal device (the controlling
// terminal), never on standard output; without one every deletion is
// declined and reported as skipped, unless --assume-yes or --assume-no
// answers for the whole run. Call it from the thread that should run the
// monitor; it returns only when the run ends.
//
// Exit status: 0 after a clean stop, 2 for bad flags, a marker file that
// fails validation or another copy that talks to the same console (the
// message goes to standard error).

#include <filesystem>
#include <string>
#include <vector>

#include "headless/StandardStreams.h"

namespace lanternwick {

class SettingsStore;

// args are the program's arguments without the program name; "--headless"
// itself is accepted and ignored so that the app's main can pass everything.
// `terminal` is where the deletion question is asked.
int runHeadless(const std::vector<std::string>& args, SettingsStore& store,
                const std::filesystem::path& terminal = controllingTerminal());

}  // namespace lanternwick
