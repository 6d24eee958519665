#include <cstdio>

#include <QApplication>

#include "platform/x11/x11_input.h"

int main(int argc, char** argv) {
    std::string error;
    auto input = dwellor::x11::X11Input::open(nullptr, error);
    if (!input) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    return 0;
}
