// The time service's access log in Common Log Format, which a client's request must not be able to
// turn against the host: opened once, never through a link, and every byte a client chose made visible.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "zeittakt.h"

namespace zeitdienst {

class Protokoll {
public:
    Protokoll() = default;
    Protokoll(const Protokoll&) = delete;
    Protokoll& operator=(const Protokoll&) = delete;
    ~Protokoll();

    // "-" is standard output, an empty name no log. A file is opened for appending, created with mode
    // 0640, and refused if its last component is a symbolic link or it is no regular file of one
    // name. False with errno set when it cannot be opened so.
    bool oeffnen(const std::string& ziel);
    // The same name opened afresh, as logrotate expects after it has moved the file away; the lines
    // go on into the old file if the new one cannot be opened (false, errno set).
    bool neu_oeffnen();
    bool an() const { return fd_ >= 0; }
    // Whole lines. Lines of many requests may go together; each write ends at the end of a line.
    void schreiben(std::string_view zeilen) const;

    // One line: `wer` (the client's address), the request line, the status, the body's length and
    // the second, in the zone chosen for the texts.
    static std::string zeile(std::string_view wer, std::string_view anfragezeile, int status, std::size_t laenge,
                             Sekunde s);

private:
    std::string pfad_;
    int fd_ = -1;
    bool eigen_ = false;  // a file of ours, not standard output
};

// The request line as it may go into the log: cut to a length that keeps the line whole in one write
// to a pipe, and each byte outside printable ASCII, and the quote and the backslash, as \xHH.
std::string sicher(std::string_view roh);

}  // namespace zeitdienst
