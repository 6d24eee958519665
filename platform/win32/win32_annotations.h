#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// Names and descriptions that screen readers hear for a window's standard
// controls, laid over what the system's own accessible objects say (their
// text) through Active Accessibility's dynamic annotation. Where there is no
// such service (no COM on this thread, or only stubs, as in Wine) it does
// nothing and the controls keep the names their text gives them.
class Annotations {
public:
    // Starts COM on this thread (a UI thread: single-threaded apartment) and
    // opens the service, kept until the last window that shares it is gone.
    Annotations();
    // Another window's annotations, through the same service.
    static Annotations sharing(const Annotations& other) { return Annotations(other.service_); }
    Annotations(const Annotations&) = delete;
    Annotations& operator=(const Annotations&) = delete;
    ~Annotations() { clear(); }

    // An empty text takes the annotation off: the control's own comes back.
    void setName(HWND control, const std::string& text);
    void setDescription(HWND control, const std::string& text);
    // Takes off every annotation made here; the service keeps them for the
    // windows' handles otherwise, so this comes before the controls go.
    void clear();

private:
    struct Service;
    explicit Annotations(std::shared_ptr<Service> service) : service_(std::move(service)) {}
    void set(HWND control, const GUID& property, const std::string& text);

    std::shared_ptr<Service> service_;
    std::vector<HWND> annotated_;
};

}  // namespace dwellor::win32
