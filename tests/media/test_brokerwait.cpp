// The wait for the device broker's answer: when the front end is told, how
// often, that it always hears the end, and that the wait is bounded.
#include "media/brokerwait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Records what the front end heard, with the time of each call.
struct RecordingWait : BrokerWait {
    std::vector<std::string> calls;
    std::vector<Clock::duration> at;
    const Clock::time_point* now = nullptr;
    Clock::time_point start{};

    void Begin(const std::string& device) override { Note("begin " + device); }
    void Tick() override { Note("tick"); }
    void End() override { Note("end"); }
    void Note(const std::string& call)
    {
        calls.push_back(call);
        at.push_back(*now - start);
    }
    int Count(const std::string& call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }
};

// A connection whose answer arrives answerAfter into the wait (never when
// zero is given as "never"), and which fails at failAfter when given. Time
// is fake: a turn moves it on as far as it was allowed to wait.
struct FakeBus {
    Clock::time_point now = Clock::time_point{} + 1h;
    Clock::time_point start = now;
    Clock::duration answerAfter = Clock::duration::max();
    Clock::duration failAfter = Clock::duration::max();
    std::chrono::microseconds longestTurn{0};
    bool answered = false;

    int Turn(std::chrono::microseconds most)
    {
        longestTurn = std::max(longestTurn, most);
        const Clock::duration passed = now - start;
        if (answerAfter - passed <= most) {
            now = start + answerAfter;
            answered = true;
            return 0;
        }
        if (failAfter - passed <= most) {
            now = start + failAfter;
            return -ECONNRESET;
        }
        now += most;
        return 0;
    }

    int Wait(BrokerWait* wait)
    {
        return WaitForBroker([this](std::chrono::microseconds most) { return Turn(most); }, [this] { return answered; },
                             wait, "/dev/sdb", BrokerPace{}, [this] { return now; });
    }
};

struct WaitFixture : ::testing::Test {
    FakeBus bus;
    RecordingWait wait;
    void SetUp() override
    {
        wait.now = &bus.now;
        wait.start = bus.start;
    }
};

} // namespace

TEST_F(WaitFixture, AnAnswerWithinTheFirstStepTellsTheFrontEndNothing)
{
    bus.answerAfter = 40ms;
    EXPECT_EQ(bus.Wait(&wait), 0);
    EXPECT_TRUE(wait.calls.empty());
    EXPECT_EQ(bus.now - bus.start, 40ms); // not made to wait out the step
}

TEST_F(WaitFixture, ALongWaitIsToldOnceTickedEveryStepAndEnded)
{
    bus.answerAfter = 1050ms; // a user answering the agent
    EXPECT_EQ(bus.Wait(&wait), 0);
    ASSERT_GE(wait.calls.size(), 3u);
    EXPECT_EQ(wait.calls.front(), "begin /dev/sdb");
    EXPECT_EQ(wait.at.front(), 100ms);
    EXPECT_EQ(wait.Count("begin /dev/sdb"), 1);
    EXPECT_EQ(wait.Count("tick"), 10); // at 100, 200, ... 1000 ms: the window repaints throughout
    EXPECT_EQ(wait.calls.back(), "end");
    EXPECT_EQ(wait.at.back(), 1050ms); // ended as soon as the answer came
    EXPECT_LE(bus.longestTurn, 100ms);
}

TEST_F(WaitFixture, ABrokenConnectionStillEndsTheWait)
{
    bus.failAfter = 350ms;
    EXPECT_EQ(bus.Wait(&wait), -ECONNRESET);
    EXPECT_EQ(wait.Count("begin /dev/sdb"), 1);
    EXPECT_EQ(wait.calls.back(), "end");
}

TEST_F(WaitFixture, NoAnswerIsGivenUpAtTheLimitAndEnded)
{
    EXPECT_EQ(bus.Wait(&wait), -ETIMEDOUT);
    EXPECT_EQ(bus.now - bus.start, 120s); // the last turn did not overrun the limit
    EXPECT_EQ(wait.calls.back(), "end");
    EXPECT_EQ(wait.Count("tick"), 1199); // every step before the limit
}

TEST_F(WaitFixture, WithoutAFrontEndTheWaitStillTurnsInWholeSteps)
{
    bus.answerAfter = 500ms;
    int turns = 0;
    EXPECT_EQ(WaitForBroker(
                  [&](std::chrono::microseconds most) {
                      ++turns;
                      return bus.Turn(most);
                  },
                  [this] { return bus.answered; }, nullptr, "/dev/sdb", BrokerPace{}, [this] { return bus.now; }),
              0);
    EXPECT_TRUE(bus.answered);
    EXPECT_LE(turns, 6); // waits, not spins
}
