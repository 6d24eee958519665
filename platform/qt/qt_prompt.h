#pragma once
#include <functional>
#include <memory>

#include <QPushButton>
#include <QWidget>

#include "platform/prompt.h"

namespace dwellor::qt {

// The question's window: two large buttons side by side, above other windows.
class QtPrompt final : public IPrompt {
public:
    QtPrompt();
    ~QtPrompt() override;

    void open(const PromptDesc& desc) override;
    void close() override;
    bool isOpen() const override;
    bool clientAreaContains(Point screen) const override;
    void onAnswer(std::function<void(bool)> h) override { answer_ = std::move(h); }

    static constexpr int kButtonWidth = 150, kButtonHeight = 64, kMargin = 12;
    // How far from the pointer the window opens.
    static constexpr int kOffset = 24;

private:
    class Window;
    void answer(bool yes);

    std::unique_ptr<Window> w_;
    QPushButton* yes_;
    QPushButton* no_;
    std::function<void(bool)> answer_;
};

}  // namespace dwellor::qt
