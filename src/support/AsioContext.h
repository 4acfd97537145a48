#pragma once
// The process-wide Asio event loop behind every SerialQueue: one io_context
// driven by two worker threads that start on first use and end with the
// process.
// Only code that waits on descriptors or timers (net/) includes this header;
// everyone else uses SerialQueue. strandOf() gives the executor that runs
// handlers on a queue, so an async_wait bound to it completes on that queue.

#include <asio/io_context.hpp>
#include <asio/strand.hpp>

#include "support/SerialQueue.h"

namespace lanternwick {

using QueueExecutor = asio::strand<asio::io_context::executor_type>;

asio::io_context& sharedIOContext();

QueueExecutor strandOf(const SerialQueue& queue);

}  // namespace lanternwick
