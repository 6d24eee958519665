#pragma once
#include <functional>

#include "platform/prompt.h"

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

// The question window: two large standard buttons in a small window of its
// own, above other windows, beside the point it is opened at. Answers are
// raised from a posted message: the handler may close this window.
class Win32Prompt final : public IPrompt, public ObjectWindow {
public:
    // `owner` keeps the prompt above it and off the task bar.
    explicit Win32Prompt(HWND owner);
    ~Win32Prompt() override;

    void open(const PromptDesc& desc) override;
    void close() override;
    bool isOpen() const override { return IsWindowVisible(hwnd_); }
    bool clientAreaContains(Point screen) const override;
    void onAnswer(std::function<void(bool yes)> h) override { answer_ = std::move(h); }

    HWND yesButton() const { return yes_; }
    HWND noButton() const { return no_; }
    static constexpr const wchar_t* kClassName = L"DwellorPrompt";
    // At 96 DPI.
    static constexpr int kButtonWidth = 150, kButtonHeight = 64, kMargin = 12, kOffset = 24;

private:
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;
    void layout();

    HWND yes_ = nullptr, no_ = nullptr;
    HFONT font_ = nullptr;
    std::function<void(bool)> answer_;
};

}  // namespace dwellor::win32
