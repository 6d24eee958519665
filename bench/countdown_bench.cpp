// The countdown's cost on the fake backend: frames drawn in 10 s of virtual
// time while the pointer rests (a ring counting to every click of the usual
// rule), while it rests after a steady click (nothing coming) and with the
// countdown off; and the time one frame takes.

#include <benchmark/benchmark.h>

#include "platform/fake/fake_platform.h"
#include "window/form1.h"

using namespace dwellor;

namespace {

struct Setup {
    const char* steady;
    const char* countdown;
};

struct Resting {
    fake::FakePlatform fp;
    Form1 form{fp.platform()};
    explicit Resting(Setup s) {
        fp.settings.values["Dwellor/Program/Steady"] = s.steady;
        fp.settings.values["Dwellor/Program/Countdown"] = s.countdown;
        form.Form_Load();
        fp.pointer.moveTo({400, 400});
        fp.pointer.moveTo({401, 400});
        // Past the first click.
        fp.clock.advance(1500);
    }
};

void BM_Countdown(benchmark::State& state, Setup setup) {
    double frames = 0;
    for (auto _ : state) {
        Resting r(setup);
        const int before = r.fp.window.mark().shows;
        r.fp.clock.advance(10000);
        frames = r.fp.window.mark().shows - before;
    }
    state.counters["frames_per_10s"] = frames;
}
BENCHMARK_CAPTURE(BM_Countdown, RestingUsualRule, Setup{"False", "True"})->Iterations(1);
BENCHMARK_CAPTURE(BM_Countdown, RestingAfterASteadyClick, Setup{"True", "True"})->Iterations(1);
BENCHMARK_CAPTURE(BM_Countdown, Off, Setup{"False", "False"})->Iterations(1);

void BM_CountdownFrame(benchmark::State& state) {
    Resting r(Setup{"False", "True"});
    fake::Timer& frame = r.fp.window.timer("CountdownFrame");
    for (auto _ : state) frame.step();
    if (!r.fp.window.mark().shown()) state.SkipWithError("no ring was shown");
}
BENCHMARK(BM_CountdownFrame);

}  // namespace
