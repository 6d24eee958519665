// The cost of one tick of the dwell timer: resting (reads the pointer twice
// and clicks) and moving (reads twice, no click), on the fake backend and on
// a private Xvfb through XTest.

#include <benchmark/benchmark.h>

#include <exception>
#include <memory>
#include <string>

#include "bench/controls.h"
#include "platform/x11/x11_input.h"
#include "tests/support/xvfb.h"

using namespace dwellor;
using dwellor::bench::Controls;
using std::chrono::milliseconds;

namespace {

void BM_RestingTick_Fake(benchmark::State& state) {
    fake::Clock clock;
    fake::Pointer pointer;
    fake::Mouse mouse{pointer};
    Controls c(clock, pointer, mouse);
    pointer.position = {400, 400};
    c.timer.step();  // the first sample
    std::size_t injections = 0;
    for (auto _ : state) {
        c.timer.step();
        // Keeps the record (and its capacity) small.
        if (mouse.calls.size() >= 4096) {
            injections += mouse.calls.size();
            mouse.calls.clear();
        }
    }
    injections += mouse.calls.size();
    state.counters["injections_per_tick"] =
        static_cast<double>(injections) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RestingTick_Fake);

void BM_MovingTick_Fake(benchmark::State& state) {
    fake::Clock clock;
    fake::Pointer pointer;
    fake::Mouse mouse{pointer};
    Controls c(clock, pointer, mouse);
    pointer.position = {400, 400};
    for (auto _ : state) {
        pointer.position.x ^= 1;
        c.timer.step();
    }
    if (!mouse.calls.empty()) state.SkipWithError("a moving pointer was clicked");
}
BENCHMARK(BM_MovingTick_Fake);

// One server for every run; stopped at exit.
testsupport::Xvfb& server() {
    static testsupport::Xvfb s;
    return s;
}

// The real backend on the private server, with the pointer resting over a
// probe window away from the top-left corner, so the clicks land there.
struct OnXvfb {
    static constexpr int kX = 400, kY = 400;
    std::unique_ptr<testsupport::ProbeWindow> probe;
    std::unique_ptr<testsupport::ServerPointer> pointer;
    std::unique_ptr<x11::X11Input> input;
    fake::Clock clock;  // the ticks are stepped by hand
    std::unique_ptr<Controls> c;

    // Null, with the reason in `state`, when the server is not usable.
    static std::unique_ptr<OnXvfb> start(benchmark::State& state) {
        auto x = std::make_unique<OnXvfb>();
        std::string error;
        try {
            const std::string& display = server().display();
            x->probe = std::make_unique<testsupport::ProbeWindow>(display, 200, 200, 400, 400);
            x->pointer = std::make_unique<testsupport::ServerPointer>(display);
            x->pointer->warp(kX, kY);
            x->input = x11::X11Input::open(display.c_str(), error);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!x->input) {
            state.SkipWithError(error.c_str());
            return nullptr;
        }
        x->c = std::make_unique<Controls>(x->clock, *x->input, *x->input);
        return x;
    }

    // Button events the probe received; waits for the server to carry out
    // every injection sent so far.
    std::size_t drain() {
        Point ignored;
        input->GetCursorPos(ignored);
        return probe->collect().size();
    }
};

void BM_RestingTick_Xvfb(benchmark::State& state) {
    auto x = OnXvfb::start(state);
    if (!x) return;
    x->c->timer.step();  // the first sample
    std::size_t events = 0;
    std::int64_t sinceDrain = 0;
    for (auto _ : state) {
        x->c->timer.step();
        // The probe's events are read now and then, so the server does not
        // queue them up for it.
        if (++sinceDrain == 1024) {
            state.PauseTiming();
            events += x->drain();
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    events += x->drain();
    state.counters["events_per_tick"] =
        static_cast<double>(events) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RestingTick_Xvfb)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_MovingTick_Xvfb(benchmark::State& state) {
    auto x = OnXvfb::start(state);
    if (!x) return;
    int dx = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dx ^= 1;
        x->pointer->warp(OnXvfb::kX + dx, OnXvfb::kY);
        state.ResumeTiming();
        x->c->timer.step();
    }
    if (x->drain() != 0) state.SkipWithError("a moving pointer was clicked");
}
BENCHMARK(BM_MovingTick_Xvfb)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
