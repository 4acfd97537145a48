#pragma once
// openClosedStandardStreams: a program started with standard input, output
// or error closed (`>&- 2>&-`, as some launchers and service managers do)
// would hand descriptors 0-2 to the first files and sockets it opens, and a
// note meant for standard error would then land in one of them. Opening each
// closed one on /dev/null first keeps every descriptor where it belongs. Call
// it first thing in main, before anything opens a descriptor.

namespace lanternwick {

void openClosedStandardStreams();

}  // namespace lanternwick
