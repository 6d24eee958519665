#include "platform/win32/win32_annotations.h"

#include "platform/win32/win32_text.h"

#include <oleacc.h>

#include <algorithm>

namespace dwellor::win32 {

struct Annotations::Service {
    Service() {
        // S_FALSE (already started here) is paired with an uninitialise too.
        // In another apartment already (RPC_E_CHANGED_MODE) COM works all the same.
        comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                    reinterpret_cast<void**>(&props))))
            props = nullptr;
    }
    ~Service() {
        drop();
        if (comStarted) CoUninitialize();
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    void drop() {
        if (props) props->Release();
        props = nullptr;
    }

    IAccPropServices* props = nullptr;
    bool comStarted = false;
};

Annotations::Annotations() : service_(std::make_shared<Service>()) {}

void Annotations::setName(HWND control, const std::string& text) { set(control, PROPID_ACC_NAME, text); }

void Annotations::setDescription(HWND control, const std::string& text) {
    set(control, PROPID_ACC_DESCRIPTION, text);
}

void Annotations::set(HWND control, const GUID& property, const std::string& text) {
    if (!service_ || !service_->props || !control) return;
    const bool known = std::find(annotated_.begin(), annotated_.end(), control) != annotated_.end();
    if (text.empty() && !known) return;  // nothing to take off
    MSAAPROPID id = property;
    const HRESULT hr =
        text.empty() ? service_->props->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &id, 1)
                     : service_->props->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, id, widen(text).c_str());
    // Stubs (Wine's): asking again would only fill the log with complaints.
    if (hr == E_NOTIMPL) service_->drop();
    else if (SUCCEEDED(hr) && !known) annotated_.push_back(control);
}

void Annotations::clear() {
    if (service_ && service_->props) {
        MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
        for (HWND h : annotated_)
            if (IsWindow(h)) service_->props->ClearHwndProps(h, OBJID_CLIENT, CHILDID_SELF, props, 2);
    }
    annotated_.clear();
}

}  // namespace dwellor::win32
