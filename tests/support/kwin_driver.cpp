// Moves KWin's pointer and clicks for a test, through fake input: one order
// a line on standard input ("move X Y", "by DX DY", "press", "release"),
// each answered "ok" once KWin has taken it.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/kwin/kwin_fake_input.h"

int main() {
    using dwellor::kwin::FakeInput;
    FakeInput::Opened why;
    auto input = FakeInput::open(why);
    if (!input) {
        std::puts(why == FakeInput::Opened::NotGranted ? "not granted" : "no display");
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string order;
        double x = 0, y = 0;
        in >> order >> x >> y;
        if (order == "move") input->moveTo(x, y);
        if (order == "by") input->moveBy(x, y);
        if (order == "press") input->mouse_event(dwellor::MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        if (order == "release") input->mouse_event(dwellor::MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        std::puts(input->sync() ? "ok" : "gone");
        std::fflush(stdout);
    }
}
