// Both rest rules on a head or eye tracker's pointer traces, replayed in
// virtual time on the fake backend: which of the person's rests get a click,
// how soon after the pointer settled, and what is clicked that was never
// meant. The time column is the cost of one replay.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bench/controls.h"

using namespace dwellor;
using dwellor::bench::Controls;

namespace {

constexpr double kTravel = 1000;  // px/s between targets

struct Move {
    std::int64_t at;  // ms
    Point to;
};
// A rest the person means: the pointer arrives at `from`, leaves at `until`.
struct Rest {
    std::int64_t from, until;
    bool holds(std::int64_t t) const { return t >= from && t <= until; }
};
struct Trace {
    std::vector<Move> moves;
    std::vector<Rest> rests;
};

// A tracker's readings at 60 Hz, segment by segment. Jitter is up to
// `jitter` px on each axis, drawn afresh for every reading from a fixed seed,
// so every run replays the same trace.
class TraceBuilder {
public:
    explicit TraceBuilder(Point start) : start_(start), at_(start) { reading(start); }

    // In a straight line at `pxPerSecond`; the reading at `to` itself is left
    // to what comes next (a rest starts there).
    TraceBuilder& travel(Point to, double pxPerSecond, int jitter = 0) {
        const double length = std::hypot(to.x - at_.x, to.y - at_.y);
        const auto n = std::max<std::int64_t>(1, std::llround(length / pxPerSecond * 60));
        for (std::int64_t k = 1; k < n; ++k) {
            const double f = static_cast<double>(k) / static_cast<double>(n);
            reading(shaken({static_cast<int>(std::lround(at_.x + f * (to.x - at_.x))),
                            static_cast<int>(std::lround(at_.y + f * (to.y - at_.y)))},
                           jitter));
        }
        at_ = to;
        return *this;
    }
    // Still at the current point for `ms`, a rest the person means or a pause.
    TraceBuilder& hold(std::int64_t ms, int jitter, bool meant = true) {
        const std::int64_t from = time(frame_);
        while (time(frame_) < from + ms) reading(shaken(at_, jitter));
        if (meant) trace_.rests.push_back({from, time(frame_)});
        return *this;
    }
    // Ends back at the start, so the last rest ends too.
    Trace done() {
        travel(start_, kTravel);
        reading(start_);
        return trace_;
    }

private:
    static std::int64_t time(std::int64_t frame) { return (frame * 1000 + 30) / 60; }
    // A pointer that does not move reports nothing.
    void reading(Point p) {
        const std::int64_t at = time(frame_++);
        if (trace_.moves.empty() || trace_.moves.back().to != p) trace_.moves.push_back({at, p});
    }
    Point shaken(Point p, int jitter) {
        if (jitter == 0) return p;
        const auto span = static_cast<std::uint32_t>(2 * jitter + 1);
        return {p.x + static_cast<int>(next() % span) - jitter, p.y + static_cast<int>(next() % span) - jitter};
    }
    std::uint32_t next() {
        seed_ = seed_ * 1664525u + 1013904223u;
        return seed_ >> 8;
    }
    Trace trace_;
    Point start_, at_;
    std::int64_t frame_ = 0;
    std::uint32_t seed_ = 2024;
};

// Ten targets spread over a 1920x1080 desktop, each far from the last.
const std::vector<Point> kTargets{{400, 300}, {1300, 700}, {700, 900}, {1600, 250}, {300, 800},
                                  {1100, 200}, {1500, 950}, {600, 500}, {1750, 600}, {950, 650}};
constexpr Point kStart{960, 540};

// Ten rests of 3 s, one on each target.
Trace rests(int jitter) {
    TraceBuilder b(kStart);
    for (Point t : kTargets) b.travel(t, kTravel).hold(3000, jitter);
    return b.done();
}

// From target to target, stopping for less than a period each time, as
// someone reading on the way does; nothing there is meant to be clicked.
Trace travelWithPauses() {
    const std::int64_t pauses[] = {300, 500, 700, 900, 950};
    TraceBuilder b(kStart);
    for (std::size_t i = 0; i < kTargets.size(); ++i) b.travel(kTargets[i], kTravel).hold(pauses[i % 5], 3, false);
    return b.done();
}

// Quickly to 59 px short of each target, then onto it at 20 px/s with a
// little jitter (3 s), then a rest of 3 s there.
Trace creep() {
    TraceBuilder b(kStart);
    for (Point t : kTargets) b.travel({t.x - 42, t.y - 42}, kTravel).travel(t, 20, 1).hold(3000, 3);
    return b.done();
}

// Between two points 400 px apart, a round trip each period (60 readings:
// 3 at either end, 27 on each way), for ten periods: nothing is meant.
Trace backAndForth() {
    const Point a{760, 540}, b{1160, 540};
    constexpr double speed = 400.0 * 60 / 28;
    TraceBuilder t(a);
    for (int i = 0; i < 10; ++i) t.hold(50, 0, false).travel(b, speed).hold(50, 0, false).travel(a, speed);
    return t.done();
}

// Ten drags: a rest on the thing to drag, a slow move with it 200 px away,
// and a rest where it is dropped.
Trace drags() {
    TraceBuilder b(kStart);
    for (Point t : kTargets) {
        const Point drop{t.x + (t.x < 960 ? 200 : -200), t.y};
        b.travel(t, kTravel).hold(2500, 3).travel(drop, 60, 1).hold(3000, 3);
    }
    return b.done();
}

enum class Rule { TwoSample, Steady };

// The times of the left button's presses and releases.
struct Outcome {
    std::vector<std::int64_t> downs, ups;
};

Outcome replay(const Trace& trace, Rule rule, bool drag) {
    fake::Clock clock;
    fake::Pointer pointer;
    fake::Mouse mouse{pointer, &clock};
    Controls c(clock, pointer, mouse);
    c.check2.setValue(drag ? 1 : 0);
    if (rule == Rule::Steady) {
        c.engine.useRule({true, 6, false}, c.window.addTimer("Gap"));
        pointer.onMoved([&c] { c.engine.pointerMoved(); });
        pointer.watchMotion(true);
    }
    for (const Move& m : trace.moves) {
        clock.advanceTo(m.at);
        pointer.moveTo(m.to);
    }
    clock.advanceTo(trace.moves.back().at);
    Outcome o;
    for (std::size_t i = 0; i < mouse.calls.size(); ++i) {
        if (mouse.calls[i].flags & MOUSEEVENTF_LEFTDOWN) o.downs.push_back(mouse.times[i]);
        if (mouse.calls[i].flags & MOUSEEVENTF_LEFTUP) o.ups.push_back(mouse.times[i]);
    }
    return o;
}

double median(std::vector<double> v) {
    if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(v.begin(), v.end());
    const std::size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2;
}

std::optional<std::size_t> restHolding(const Trace& t, std::int64_t at) {
    for (std::size_t i = 0; i < t.rests.size(); ++i)
        if (t.rests[i].holds(at)) return i;
    return std::nullopt;
}

// A click is a press of the left button (each comes with its release).
void scoreClicks(benchmark::State& state, const Trace& t, const Outcome& o) {
    std::vector<std::vector<std::int64_t>> perRest(t.rests.size());
    double unintended = 0;
    for (std::int64_t at : o.downs) {
        if (auto i = restHolding(t, at)) perRest[*i].push_back(at);
        else ++unintended;
    }
    double clicked = 0, inRests = 0;
    std::vector<double> settleToClick;
    for (std::size_t i = 0; i < perRest.size(); ++i) {
        if (perRest[i].empty()) continue;
        ++clicked;
        inRests += static_cast<double>(perRest[i].size());
        settleToClick.push_back(static_cast<double>(perRest[i].front() - t.rests[i].from));
    }
    state.counters["rests"] = static_cast<double>(t.rests.size());
    state.counters["clicked"] = clicked;
    state.counters["per_rest"] = clicked ? inRests / clicked : 0;
    state.counters["settle_ms"] = median(settleToClick);
    state.counters["worst_ms"] = settleToClick.empty() ? std::numeric_limits<double>::quiet_NaN()
                                                       : *std::max_element(settleToClick.begin(), settleToClick.end());
    state.counters["unintended"] = unintended;
}

// Rests come in pairs, the press's and the drop's: a drag is done when the
// only events from the first to the second are a press in the first and a
// release in the second.
void scoreDrags(benchmark::State& state, const Trace& t, const Outcome& o) {
    double done = 0, unintended = 0;
    std::vector<double> toPress, toRelease;
    for (std::size_t i = 0; i + 1 < t.rests.size(); i += 2) {
        const Rest &grab = t.rests[i], &drop = t.rests[i + 1];
        std::vector<std::int64_t> downs, ups;
        for (std::int64_t at : o.downs)
            if (at >= grab.from && at <= drop.until) downs.push_back(at);
        for (std::int64_t at : o.ups)
            if (at >= grab.from && at <= drop.until) ups.push_back(at);
        if (downs.size() == 1 && ups.size() == 1 && grab.holds(downs[0]) && drop.holds(ups[0])) {
            ++done;
            toPress.push_back(static_cast<double>(downs[0] - grab.from));
            toRelease.push_back(static_cast<double>(ups[0] - drop.from));
        }
    }
    for (const auto* events : {&o.downs, &o.ups})
        for (std::int64_t at : *events)
            if (!restHolding(t, at)) ++unintended;
    state.counters["drags"] = static_cast<double>(t.rests.size() / 2);
    state.counters["done"] = done;
    state.counters["press_ms"] = median(toPress);
    state.counters["release_ms"] = median(toRelease);
    state.counters["unintended"] = unintended;
}

void replayBench(benchmark::State& state, const Trace& trace, Rule rule, bool drag) {
    Outcome o;
    for (auto _ : state) {
        o = replay(trace, rule, drag);
        benchmark::DoNotOptimize(o);
    }
    (drag ? scoreDrags : scoreClicks)(state, trace, o);
}

// Every trace under both rules, one row each. The counters are the same on
// every run, so one repetition is enough (`make bench` asks for one).
const bool registered = [] {
    const struct {
        const char* name;
        Trace trace;
        bool drag;
    } traces[] = {
        {"still", rests(0), false},         {"jitter1", rests(1), false}, {"jitter3", rests(3), false},
        {"jitter5", rests(5), false},       {"pauses", travelWithPauses(), false},
        {"creep", creep(), false},          {"back_and_forth", backAndForth(), false},
        {"drag", drags(), true},
    };
    for (const auto& t : traces) {
        for (Rule rule : {Rule::TwoSample, Rule::Steady}) {
            const std::string name =
                std::string("Trace/") + t.name + (rule == Rule::Steady ? "/steady" : "/two_sample");
            benchmark::RegisterBenchmark(name.c_str(), replayBench, t.trace, rule, t.drag)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

}  // namespace
