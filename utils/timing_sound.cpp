// Timing and sound: a pause, the millisecond clock, and three ways of making a sound.
#include <windows.h>
#include <mmsystem.h>
#undef sndPlaySound  // the method of that name is not the platform macro

#include "automation/raii.h"
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::sleep(UINT milliseconds) {
  // 4294967295 (INFINITE) never returns; 0 gives up the rest of the time slice.
  return guardedBody(*this, [&] { Sleep(milliseconds); });  // no result: the guard without one
}

HRESULT TUtils::getTickCount(UINT* tickCount) {
  return methodGuard(*this, tickCount, [&] { *tickCount = GetTickCount(); });
}

HRESULT TUtils::beep(UINT Hz, UINT milliSec, BSTR* errMsg) {
  return methodGuard(*this, errMsg, [&] {
    SetLastError(0);
    if (Beep(Hz, milliSec)) return;
    *errMsg = newResultString(failureText(GetLastError()));
  });
}

HRESULT TUtils::msgBeep(UINT uType, BSTR* errMsg) {
  return methodGuard(*this, errMsg, [&] {
    // The error code is not cleared first: a failure may report a code left from earlier.
    if (MessageBeep(uType)) return;
    *errMsg = newResultString(failureText(GetLastError()));
  });
}

HRESULT TUtils::sndPlaySound(BSTR path, UINT flag, BSTR* errMsg) {
  return methodGuard(*this, errMsg, [&] {
    // A looping sound always plays asynchronously.
    if ((flag & SND_LOOP) && !(flag & SND_ASYNC)) flag |= SND_ASYNC;
    // An empty name stops the sound that is playing.
    const wchar_t* name = bstrView(path).empty() ? nullptr : path;
    if (::sndPlaySoundW(name, flag)) return;
    *errMsg = newResultString(failureText(GetLastError()));
  });
}

}  // namespace vantorelix
