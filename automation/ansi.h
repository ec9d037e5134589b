// The ANSI text passage: 8-bit text in the code page that GetACP gave when the library started.
// Flags 0 both ways, so a character the code page lacks comes back as the platform's substitute.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vantorelix {

// Called once at start-up; later changes of the system settings are not followed.
void captureAnsiCodePage();
UINT ansiCodePage();

std::string toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::string_view text);

}  // namespace vantorelix
