// What wlroots compositors tell of the pointer: rests from idle notices
// alone, and Hyprland's answer to where the pointer is.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/wlroots/hyprland_cursor.h"
#include "platform/wlroots/rest_clock.h"

namespace {

using dwellor::Point;
using dwellor::wlroots::HyprlandCursor;
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

TEST(HyprlandCursorTest, ReadsOnlyAWellFormedAnswer) {
    Point p{7, 7};
    EXPECT_TRUE(HyprlandCursor::parse("512, 384", p));
    EXPECT_EQ(p, (Point{512, 384}));
    EXPECT_TRUE(HyprlandCursor::parse("-1920, 0\n", p));  // a screen left of the first
    EXPECT_EQ(p, (Point{-1920, 0}));
    for (const char* junk : {"", "512,384", "512, ", ", 384", "x, y", "512, 384 and more", "99999999999, 1",
                             "unknown request"}) {
        EXPECT_FALSE(HyprlandCursor::parse(junk, p)) << junk;
        EXPECT_EQ(p, (Point{-1920, 0})) << junk;
    }
}

TEST(HyprlandCursorTest, AsksHyprlandsSocketOncePerReading) {
    namespace fs = std::filesystem;
    const fs::path runtime = fs::temp_directory_path() / ("dwellor-hypr-" + std::to_string(getpid()));
    fs::create_directories(runtime / "hypr" / "sig");
    EXPECT_EQ(HyprlandCursor::open("sig", runtime.c_str()), nullptr);  // no socket yet
    const std::string path = (runtime / "hypr" / "sig" / ".socket.sock").string();
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(server, 1), 0);
    std::string asked;
    std::thread hyprland([&] {
        // Answers one request and closes, as Hyprland does.
        const int c = accept(server, nullptr, nullptr);
        char buf[64] = {};
        asked.assign(buf, static_cast<std::size_t>(std::max<ssize_t>(0, read(c, buf, sizeof buf))));
        [[maybe_unused]] auto n = write(c, "300, 200", 8);
        close(c);
    });
    const auto cursor = HyprlandCursor::open("sig", runtime.c_str());
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(HyprlandCursor::open("../hypr/sig", runtime.c_str()), nullptr);
    Point p;
    EXPECT_TRUE(cursor->read(p));
    hyprland.join();
    EXPECT_EQ(asked, "cursorpos");
    EXPECT_EQ(p, (Point{300, 200}));
    // Nobody answers any more: no reading.
    close(server);
    EXPECT_FALSE(cursor->read(p));
    fs::remove_all(runtime);
}

}  // namespace
