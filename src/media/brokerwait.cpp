#include "media/brokerwait.h"

#include <algorithm>
#include <cerrno>

int WaitForBroker(const std::function<int(std::chrono::microseconds most)>& turn, const std::function<bool()>& done,
                  BrokerWait* wait, const std::string& device, BrokerPace pace,
                  const std::function<std::chrono::steady_clock::time_point()>& now)
{
    using std::chrono::duration_cast;
    using std::chrono::microseconds;
    const auto start = now();
    auto nextTell = start + pace.step;
    bool told = false;
    int result = 0;
    while (!done()) {
        const auto at = now();
        if (at - start >= pace.limit) {
            result = -ETIMEDOUT;
            break;
        }
        if (at >= nextTell) {
            if (wait && !told)
                wait->Begin(device);
            told = told || wait;
            if (wait)
                wait->Tick();
            nextTell = at + pace.step;
        }
        const auto most = std::max(microseconds(0), std::min(duration_cast<microseconds>(nextTell - at),
                                                             duration_cast<microseconds>(start + pace.limit - at)));
        if (int r = turn(most); r < 0) {
            result = r;
            break;
        }
    }
    if (told)
        wait->End();
    return result;
}
