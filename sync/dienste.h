// The two services the window hands the synchronisation run: its HTTP client's fetch and its exit
// timer. The window implements them in app/; the run sees nothing else of the window.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace dadaviru {

// The fetch service of the window's HTTP client: a blocking GET returning the whole body, or nothing.
class Inet_Dienst {
public:
    virtual ~Inet_Dienst() = default;
    virtual std::optional<std::string> OpenURL(const std::string& url) = 0;
    // When the last answer that OpenURL gave was whole, read as close to its arrival as the client
    // can: the clock is set to the answer's time plus the time since. A client that cannot tell
    // says nothing, and the run takes the moment OpenURL returned.
    virtual std::optional<std::chrono::steady_clock::time_point> Angekommen() const { return std::nullopt; }
};

// The two properties of the exit timer that the run writes.
class Timer_Dienst {
public:
    virtual ~Timer_Dienst() = default;
    virtual void Interval(int millisekunden) = 0;
    virtual void Enabled(bool an) = 0;
};

}  // namespace dadaviru
