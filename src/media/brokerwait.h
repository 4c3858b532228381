#pragma once
// Waiting for the device broker without freezing the front end: the
// desktop's authorisation agent may keep the user for minutes, so the open
// turns its connection in short steps and tells the front end meanwhile.
#include <chrono>
#include <functional>
#include <string>

// What the front end does while an open through the broker waits: the
// window shows a status text and a wait cursor and keeps painting, the
// terminal prints a line. Plain interface, so the core needs no toolkit.
class BrokerWait {
public:
    virtual ~BrokerWait() = default;
    // The broker did not answer at once; device is what is being opened.
    virtual void Begin(const std::string& device) = 0;
    // Once a step while the wait lasts.
    virtual void Tick() = 0;
    // The wait is over, answered or not; only ever after Begin.
    virtual void End() = 0;
};

struct BrokerPace {
    std::chrono::microseconds step{100'000};
    // The user may be typing a password in the agent's window meanwhile.
    std::chrono::microseconds limit{120'000'000};
};

// Turns the connection until done() holds: turn(most) waits at most `most`
// for traffic and handles what came, returning a negative error code when
// the connection failed. Begin comes after the first step without an
// answer, then Tick after every step, and End whenever Begin came.
// Returns 0 once done, the turn's error, or -ETIMEDOUT past the limit.
int WaitForBroker(const std::function<int(std::chrono::microseconds most)>& turn, const std::function<bool()>& done,
                  BrokerWait* wait, const std::string& device, BrokerPace pace = {},
                  const std::function<std::chrono::steady_clock::time_point()>& now = std::chrono::steady_clock::now);
