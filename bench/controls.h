#pragma once
// The engine on the fake backend's controls, shared by the benchmarks.
#include "engine/dwell_engine.h"
#include "platform/fake/fake_platform.h"

namespace dwellor::bench {

inline ControlDesc desc(const char* name, const char* text) {
    ControlDesc s;
    s.name = name;
    s.text = text;
    return s;
}

// The engine's controls as the window starts them: Left selected, 1000 ms
// dwell, 500 ms drag, drag off. Ticks go through the timer's handler, as in
// the program.
struct Controls {
    fake::Log log;
    fake::Window window;
    fake::Timer& timer = static_cast<fake::Timer&>(window.addTimer("Timer1"));
    ITextBox& text1 = window.addTextBox(desc("Text1", "1000"));
    ITextBox& text2 = window.addTextBox(desc("Text2", "500"));
    ICheckBox& check2 = window.addCheckBox(desc("Check2", ""));
    ILabel& left = window.addLabel(desc("Label4", "L"));
    ILabel& right = window.addLabel(desc("Label6", "R"));
    ILabel& dbl = window.addLabel(desc("Label7", "Double"));
    DwellEngine engine;

    // `clock` drives the timers when advanced; stepping them by hand needs none.
    Controls(fake::Clock& clock, IPointer& pointer, IMouseInput& mouse)
        : window(log, clock), engine({timer, text1, text2, check2, left, right, dbl}, pointer, mouse) {
        timer.setInterval(1000);
        timer.onTick([this] { engine.Timer1_Timer(); });
        left.setForeColour(kRed);
        right.setForeColour(kBlack);
        dbl.setForeColour(kBlack);
    }
};

}  // namespace dwellor::bench
