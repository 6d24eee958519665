#pragma once
#include <string>

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// UTF-8 and UTF-16; invalid sequences become U+FFFD.
std::wstring widen(const std::string& s);
std::string narrow(const std::wstring& s);

// Text for the user, from a program with no console of its own: into the
// standard stream (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) when it leads
// somewhere (a pipe, a file, a console), else into the console this was
// started from, else, with no console at all (started from Explorer or a
// shortcut), in a message box unless `boxed` is false.
void tell(DWORD stream, const std::string& text, bool boxed = true);

}  // namespace dwellor::win32
