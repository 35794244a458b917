// The time service's access log in Common Log Format, which a client's request must not be able to
// turn against the host: opened once, never through a link, and every byte a client chose made visible;
// and which must not be able to stop the answers: a writer of its own takes the lines off the loops.
// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "zeittakt.h"

namespace zeitdienst {

class Protokoll {
public:
    // Lines wait for the writer up to `schlange_hoechstens` bytes; beyond that they are dropped.
    explicit Protokoll(std::size_t schlange_hoechstens) : schlange_hoechstens_(schlange_hoechstens) {}
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
    // The file's descriptor if oeffnen() made the file, else -1: started as root, the service gives
    // it to the user it serves as, who must be able to open it afresh.
    int neu_gemacht() const { return neu_ ? fd_ : -1; }
    // Starts the writer, once the process has the rights it serves with: a thread started before would
    // keep the capabilities the process gives up.
    void starten();
    // Whole lines, handed to the writer without waiting for the log: a journal or pipe that is not
    // read fills up, and must not hold the answers. What no longer fits is dropped, whole lines only,
    // and counted; the count goes into the log once it takes lines again.
    void schreiben(std::string_view zeilen);

    // One line: `wer` (the client's address), the request line, the status, the body's length and
    // the second, in the zone chosen for the texts.
    static std::string zeile(std::string_view wer, std::string_view anfragezeile, int status, std::size_t laenge,
                             Sekunde s);
    // The request line, from what the reader kept of it: "GET / HTTP/1.1" (`version` 11).
    static std::string anfragezeile(std::string_view methode, std::string_view ziel, unsigned version);

private:
    void schreiber();
    std::size_t ausgeben(std::string_view text);

    std::string pfad_;
    int fd_ = -1;
    bool eigen_ = false;  // a file of ours, not standard output
    bool neu_ = false;    // made by oeffnen()

    const std::size_t schlange_hoechstens_;
    std::mutex sperre_;
    std::condition_variable geweckt_;
    std::string schlange_;         // under the lock
    unsigned long verworfen_ = 0;  // lines dropped since the last count went out; under the lock
    std::atomic<bool> ende_ = false;
    std::thread faden_;
};

// The request line as it may go into the log: cut to a length that keeps the line whole in one write
// to a pipe, and each byte outside printable ASCII, and the quote and the backslash, as \xHH.
std::string sicher(std::string_view roh);

}  // namespace zeitdienst
