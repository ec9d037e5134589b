// Library start-up and unload.
//
// Loading the library runs nothing but recordLibraryModule: DllMain runs under the loader
// lock, where Windows forbids loading libraries and calling COM or OLE Automation, so the
// start-up steps wait for the first export that needs the server (startLibraryOnce).
#pragma once

#include <windows.h>

#include <string>

namespace vantorelix {

// Remembers the library's own module handle; the one thing done while the library loads.
void recordLibraryModule(HINSTANCE module);

// Runs the start-up steps once per process, on the first call from any thread; a call that
// arrives while another thread starts the library waits for it and sees its outcome. True
// when the server object exists afterwards (the Utils factory may still be missing: see
// startupError).
bool startLibraryOnce();

// The start-up steps themselves, in their order: OLEAUT32 loaded, the server object, the
// settings the methods keep, the Utils factory. Programs that
// link the server's core call it directly with their own module.
void startLibrary(HINSTANCE module);

// Frees what start-up made, and nothing when it never ran. `processEnding`: the process is
// going away, other modules may be gone already, so nothing is touched.
void stopLibrary(bool processEnding);

// The message of the error that kept the Utils factory from being made, or empty.
const std::u16string& startupError();

}  // namespace vantorelix
