// Rests told from a compositor's idle notices alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wlroots/rest_clock.h"

namespace {

using dwellor::wlroots::RestClock;

// A story told to the clock: 'i' idle, 'r' resumed, 'o' Dwellor's own
// click, 'R' a reading that must say "input since the last", 'S' one that
// must say "still".
struct Step {
    char what;
    std::int64_t at;
};
struct Story {
    const char* name;
    std::vector<Step> steps;
};

class RestClockTest : public ::testing::TestWithParam<Story> {};

TEST_P(RestClockTest, TellsInputBetweenReadings) {
    RestClock clock(40);
    for (const Step& s : GetParam().steps) {
        switch (s.what) {
            case 'i': clock.idle(s.at); break;
            case 'r': clock.resumed(s.at); break;
            case 'o': clock.injected(s.at); break;
            default: EXPECT_EQ(clock.inputSince(s.at), s.what == 'R') << "reading at " << s.at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stories, RestClockTest,
    ::testing::Values(
        // Nothing known yet is input; a whole quiet reading apart is a rest.
        Story{"Start", {{'R', 0}, {'R', 500}, {'i', 960}, {'R', 1000}, {'S', 1500}, {'S', 2000}}},
        // Input between readings, whether still going on or over by the next.
        Story{"Moves", {{'i', 40}, {'R', 100}, {'r', 600}, {'R', 700}, {'R', 800}, {'i', 850}, {'R', 1200}, {'S', 1700}}},
        // Input that came and went between two readings still counts.
        Story{"Twitch", {{'i', 40}, {'R', 100}, {'r', 300}, {'i', 341}, {'R', 600}, {'S', 1100}}},
        // Dwellor's own click is not the person's: the rest goes on.
        Story{"OwnClick", {{'i', 40}, {'R', 100}, {'S', 600}, {'o', 601}, {'r', 602}, {'S', 1100}, {'i', 642},
                           {'S', 1600}}},
        // Moving on at once after it does count.
        Story{"MovedAfterOwnClick", {{'i', 40}, {'R', 100}, {'o', 600}, {'r', 601}, {'i', 720}, {'R', 1100}}},
        // A notice far later than the click is taken for the person's.
        Story{"LateNotice", {{'i', 40}, {'R', 100}, {'o', 600}, {'r', 900}, {'R', 1100}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
