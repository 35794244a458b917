// Reads a connection's smallest round trip from TCP_INFO.
// SPDX-License-Identifier: MIT
//
// The kernel's own struct tcp_info, not the C library's copy in <netinet/tcp.h>, which ends before
// tcpi_min_rtt; the two headers cannot meet in one file, so this one includes nothing of Asio.
#include "rundlauf.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

namespace zeitdienst {

std::chrono::microseconds kleinster_rundlauf(int fd) {
    tcp_info info{};
    socklen_t laenge = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &laenge) != 0) return {};
    // An older kernel fills less of the structure; without the field, there is no measurement.
    if (laenge < offsetof(tcp_info, tcpi_min_rtt) + sizeof info.tcpi_min_rtt) return {};
    // The kernel's "no sample yet" is all ones.
    if (info.tcpi_min_rtt == ~0U) return {};
    return std::chrono::microseconds(info.tcpi_min_rtt);
}

}  // namespace zeitdienst
