// Runs one synchronisation from the command line, with the real HTTP client and clock:
// the way to try a run end to end before there is a window around it.
#include <unistd.h>

#include <thread>

#include "app/posix/inet_curl.h"
#include "sync/zeit_setzen.h"

namespace {

// Ends the process when armed, the way the window's exit timer does.
class Timer_Probe final : public dadaviru::Timer_Dienst {
public:
    void Interval(int millisekunden) override { interval_ = millisekunden; }
    void Enabled(bool an) override { an_ = an; }
    void abwarten() const {
        if (!an_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(interval_));
        _exit(0);
    }

private:
    int interval_ = 10;
    bool an_ = false;
};

}  // namespace

int main() {
    dadaviru::Inet_Curl inet;
    Timer_Probe timer_ende;
    dadaviru::Zeit_setzen(inet, timer_ende);
    timer_ende.abwarten();
    return 1;  // the exit timer was never armed
}
