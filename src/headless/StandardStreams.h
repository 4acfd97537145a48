#pragma once
// The process's standard streams and its terminal, as the terminal mode and
// the window's main need them; the system's side is in a file per system
// (StandardStreamsPosix.cpp). Call these from main's thread.
//
// openClosedStandardStreams: a program started with standard input, output
// or error closed (`>&- 2>&-`, as some launchers and service managers do)
// would hand descriptors 0-2 to the first files and sockets it opens, and a
// note meant for standard error would then land in one of them. Opening each
// closed one on /dev/null first keeps every descriptor where it belongs. Call
// it first thing in main, before anything opens a descriptor.

#include <filesystem>

namespace lanternwick {

// The C library's descriptors of standard output and standard error, the
// same numbers on every system we build for.
inline constexpr int standardOutputDescriptor = 1;
inline constexpr int standardErrorDescriptor = 2;

void openClosedStandardStreams();

// A reader of standard output or error that goes away must cost the
// printing, not the process: writes to it fail from then on instead of
// ending the program. For good, for the whole process.
void ignoreBrokenPipes();

// Where the deletion question is asked unless told otherwise: the
// controlling terminal (/dev/tty here), whatever the standard streams are.
std::filesystem::path controllingTerminal();

}  // namespace lanternwick
