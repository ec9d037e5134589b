// COM identifiers (new GUIDs, ProgID and CLSID texts) and calling another in-process server's
// own registration or unregistration entry point.
#include "automation/ansi.h"
#include "automation/errors.h"
#include "automation/frame_strings.h"
#include "automation/raii.h"
#include "automation/text_logic.h"
#include "utils/TUtils.h"
#include "utils/seh_capture.h"

namespace vantorelix {
namespace {

// Identifier texts pass through the ANSI code page on their way in and out: a character that
// the code page lacks arrives as the platform's substitute.
std::u16string throughAnsi(std::u16string_view text) { return fromAnsi(toAnsi(text)); }

struct ClsidText {
  HRESULT hr;
  std::u16string text;
};

// The server makes GUID text only by StringFromCLSID: braced, upper-case, 38 characters.
ClsidText stringFromClsid(const GUID& guid) {
  CoTaskText text;
  HRESULT hr = StringFromCLSID(guid, text.out());
  return {hr, text.text()};
}

std::u16string guidToText(const GUID& guid) {
  ClsidText t = stringFromClsid(guid);
  if (FAILED(t.hr)) throw EConvertError(systemMessageText(t.hr));
  return t.text;
}

GUID textToGuid(const std::u16string& text) {
  GUID guid{};
  if (FAILED(CLSIDFromString(wptr(text), &guid))) throw EConvertError(fillMessage(frameText(IDS_INVALID_GUID), {text}));
  return guid;
}

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

// progIDToClsid and clsidToProgID answer "" for any failure, as documented, memory running out
// among them: it is not raised to the method guard, which would answer with an error instead,
// and what the empty answer hides goes to the debugger.
const char16_t kEmptyAnswer[] = u"\"\"";

}  // namespace

HRESULT TUtils::genGUID(BSTR* retVal) {
  return methodGuard(*this, retVal, [&] {
    // Neither result is examined: the text is whatever the platform produced.
    GUID guid{};
    CoCreateGuid(&guid);
    *retVal = newResultString(throughAnsi(stringFromClsid(guid).text));
  });
}

HRESULT TUtils::progIDToClsid(BSTR sProgID, BSTR* retVal) {
  return methodGuard(*this, retVal, [&] {
    try {
      std::u16string name = throughAnsi(bstrView(sProgID));
      CLSID clsid{};
      HRESULT hr = CLSIDFromProgID(wptr(name), &clsid);
      if (FAILED(hr)) throw EOleSysError(hr);
      *retVal = newResultString(throughAnsi(guidToText(clsid)));
    } catch (const std::bad_alloc&) {
      traceDroppedError(u"progIDToClsid", kEmptyAnswer);  // memory ran out: see kEmptyAnswer
    } catch (...) {
      // Whatever else failed (an unknown ProgID, say), the answer is the empty string.
    }
  });
}

HRESULT TUtils::clsidToProgID(BSTR sClsid, BSTR* retVal) {
  return methodGuard(*this, retVal, [&] {
    try {
      CLSID clsid = textToGuid(throughAnsi(bstrView(sClsid)));
      CoTaskText progId;
      HRESULT hr = ProgIDFromCLSID(clsid, progId.out());
      if (FAILED(hr)) throw EOleSysError(hr);
      *retVal = newResultString(throughAnsi(progId.text()));
    } catch (const std::bad_alloc&) {
      traceDroppedError(u"clsidToProgID", kEmptyAnswer);  // memory ran out: see kEmptyAnswer
    } catch (...) {
      // Whatever else failed (a malformed CLSID, one without a ProgID), the answer is the empty
      // string.
    }
  });
}

HRESULT TUtils::regsvr(BSTR path, BSTR* errResult) {
  return methodGuard(*this, errResult, [&] { *errResult = newResultString(invokeServerEntry(path, false)); });
}

HRESULT TUtils::regsvr_u(BSTR path, BSTR* errResult) {
  return methodGuard(*this, errResult, [&] { *errResult = newResultString(invokeServerEntry(path, true)); });
}

std::u16string TUtils::invokeServerEntry(BSTR path, bool unregister) {
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  HRESULT hr = E_FAIL;
  std::u16string msg;
  // The module's initialisation, entry point and termination may leave the thread's
  // floating-point control words changed (unmasked exceptions, say): the host gets its own
  // back after the module is released, whichever way the call ends.
  KeptFloatingPointControl hostFloatingPoint;
  Module module = Module::adopt(LoadLibraryW(path ? path : L""));
  if (!module) {
    msg = u"LoadLibrary に失敗。" + decimal(GetLastError());
  } else {
    // A processor fault or another system exception in the module ends only this step.
    try {
      raiseFaultsAsErrors([&] {
        auto proc = reinterpret_cast<ServerEntry>(GetProcAddress(module.get(), entry));
        if (!proc) {
          msg = u"GetProcAddress に失敗。" + decimal(GetLastError());
          return;
        }
        hr = proc();
      });
    } catch (const Exception& error) {
      msg = error.message();
    }
    module.reset();
  }
  if (hr == S_OK) return {};
  return msg.empty() ? u"エラー" : msg;
}

}  // namespace vantorelix
