#pragma once

#include <windows.h>

#include <string>

namespace vantorelix {

void startLibrary(HINSTANCE module);
void stopLibrary(bool processEnding);

// The message of the error that kept the Utils factory from being made, or empty.
const std::u16string& startupError();

}  // namespace vantorelix
