// The round trip of a client's connection as this machine's kernel has measured it, for the lead of
// a held answer.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace zeitdienst {

// The smallest round trip the kernel has seen on the TCP connection `fd` (from its handshake on, each
// acknowledgement refining it): the path without its queues. Zero when there is none or it cannot be read.
std::chrono::microseconds kleinster_rundlauf(int fd);

}  // namespace zeitdienst
