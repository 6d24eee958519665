// Moves the pointer and clicks for a test: through KWin's fake input where
// it is granted, else a wlroots virtual pointer (made once, kept all along).
// One order a line on standard input ("move X Y", "press", "release"), each
// answered "ok" once the compositor has it. Arguments: the screen's size.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/kwin/kwin_fake_input.h"
#include "platform/wlroots/wlr_virtual_pointer.h"

int main(int argc, char** argv) {
    using dwellor::kwin::FakeInput;
    using dwellor::wlroots::VirtualPointer;
    const unsigned width = argc > 2 ? std::atoi(argv[1]) : 1024, height = argc > 2 ? std::atoi(argv[2]) : 768;
    FakeInput::Opened why;
    std::unique_ptr<FakeInput> kwin = FakeInput::open(why);
    std::unique_ptr<VirtualPointer> wlr = kwin ? nullptr : VirtualPointer::open();
    dwellor::wayland::ButtonInjector* input = kwin ? static_cast<dwellor::wayland::ButtonInjector*>(kwin.get()) : wlr.get();
    if (!input) {
        std::puts("no pointer to drive");
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string order;
        unsigned x = 0, y = 0;
        in >> order >> x >> y;
        if (order == "move" && kwin) kwin->moveTo(x, y);
        if (order == "move" && wlr) wlr->moveTo(x, y, width, height);
        if (order == "press") input->mouse_event(dwellor::MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        if (order == "release") input->mouse_event(dwellor::MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        std::puts(input->sync() ? "ok" : "gone");
        std::fflush(stdout);
    }
}
