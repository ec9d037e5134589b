// File timestamps: the three times of a file read as local-time texts and set from local
// calendar fields. The file system keeps UTC; both directions use the offset from UTC in
// force at the moment of the call.
#include <optional>

#include "automation/raii.h"
#include "automation/variants.h"
#include "utils/TUtils.h"
#include "utils/filetime_logic.h"

namespace vantorelix {
namespace {

// A missing path is the empty path, which no open accepts.
const wchar_t* pathText(BSTR path) { return path ? path : L""; }

SYSTEMTIME buildSystemTime(const TimeFields& fields) {
  TimeFields f = withCalendarDefaults(fields);
  SYSTEMTIME record{};
  record.wYear = f.year;
  record.wMonth = f.month;
  record.wDay = f.day;
  record.wHour = f.hour;
  record.wMinute = f.minute;
  record.wSecond = f.second;
  record.wMilliseconds = f.milliseconds;
  return record;
}

bool fileTimeToLocal(const FILETIME& utc, SYSTEMTIME& local) {
  FILETIME shifted;
  return FileTimeToLocalFileTime(&utc, &shifted) && FileTimeToSystemTime(&shifted, &local);
}

std::u16string formatFileTime(const SYSTEMTIME& local) {
  TimeFields f;
  f.year = local.wYear;
  f.month = local.wMonth;
  f.day = local.wDay;
  f.hour = local.wHour;
  f.minute = local.wMinute;
  f.second = local.wSecond;
  return vantorelix::formatFileTime(f);
}

// An array of up to seven calendar numbers as a local calendar record. Anything else, and an
// array whose elements cannot be read or converted, means the time is not given. Only an
// array variant without an array raises, while its bounds are taken.
std::optional<SYSTEMTIME> variantToSystemTime(const ArgumentCopy& argument) {
  if (!argument.isArray()) return std::nullopt;  // a null pointer too: not given
  const VARIANT& value = argument.array();
  LONG lower = arrayBound(value, 1, Bound::lower);
  LONG upper = arrayBound(value, 1, Bound::upper);
  if (lower != 0 || upper < 0) return std::nullopt;

  int32_t numbers[7] = {};
  try {
    for (LONG i = 0; i <= upper && i < 7; ++i) {
      Variant element;
      readArrayElement(value, i, element);
      numbers[i] = variantToInt32(*element.get());
    }
  } catch (const Exception&) {
    return std::nullopt;
  }
  return buildSystemTime(timeFieldsOf(numbers));
}

}  // namespace

HRESULT TUtils::getFileTime(BSTR filePath, VARIANT* aryStrDate) {
  return methodGuard(*this, aryStrDate, [&] {
    Handle file =
        Handle::adopt(CreateFileW(pathText(filePath), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    FILETIME times[3];
    BOOL read = GetFileTime(file.get(), &times[creationTime], &times[lastAccessTime], &times[lastWriteTime]);
    file.reset();
    if (!read) return;

    SafeArray texts = newVariantArray(3);
    for (LONG i = 0; i < 3; ++i) {
      SYSTEMTIME local;
      if (!fileTimeToLocal(times[i], local)) continue;  // that element stays Empty
      VARIANT& slot = variantArraySlot(texts, i);
      V_BSTR(&slot) = newResultString(formatFileTime(local));
      V_VT(&slot) = VT_BSTR;
    }
    V_ARRAY(aryStrDate) = texts.release();
    V_VT(aryStrDate) = VT_ARRAY | VT_VARIANT;
  });
}

HRESULT TUtils::setFileTime(BSTR filePath, VARIANT* Create, VARIANT* Access, VARIANT* Write, BSTR* errResult) {
  return methodGuard(*this, errResult, [&] {
    SetLastError(0);
    // A script's variables arrive as references to them, and converting an element of one can
    // run the caller's code: all three are copied before any is read.
    const ArgumentCopy arguments[3] = {ArgumentCopy(Create), ArgumentCopy(Access), ArgumentCopy(Write)};
    // All three are judged before anything else happens.
    std::optional<SYSTEMTIME> local[3] = {variantToSystemTime(arguments[creationTime]),
                                          variantToSystemTime(arguments[lastAccessTime]),
                                          variantToSystemTime(arguments[lastWriteTime])};

    FILETIME utc[3];
    const FILETIME* given[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
      if (!local[i]) continue;
      std::u16string failure;
      if (!localToFileTime(*local[i], utc[i], failure)) {
        *errResult = newResultString(std::u16string(timePrefix(i)) + failure);
        return;  // the file is not opened
      }
      given[i] = &utc[i];
    }
    if (!given[creationTime] && !given[lastAccessTime] && !given[lastWriteTime]) {
      *errResult = newResultString(kNoTimeGiven);
      return;
    }
    *errResult =
        newResultString(applyFileTimes(filePath, given[creationTime], given[lastAccessTime], given[lastWriteTime]));
  });
}

HRESULT TUtils::setFileTimeOne(BSTR filePath, BSTR sTimeType, LONG Year, LONG Month, LONG Day, LONG Hour, LONG Minute,
                               LONG Second, LONG milliseconds, BSTR* errResult) {
  return methodGuard(*this, errResult, [&] {
    SetLastError(0);
    const int32_t numbers[7] = {Year, Month, Day, Hour, Minute, Second, milliseconds};
    FILETIME utc;
    std::u16string failure;
    // The time is converted before the type text is looked at.
    if (!localToFileTime(buildSystemTime(timeFieldsOf(numbers)), utc, failure)) {
      *errResult = newResultString(failure);
      return;
    }
    TimeSelection selection = selectTimes(bstrView(sTimeType));
    if (!selection.any()) {
      *errResult = newResultString(kNoTimeSelected);
      return;
    }
    auto timeIf = [&](TimePosition p) -> const FILETIME* { return selection.selected[p] ? &utc : nullptr; };
    *errResult =
        newResultString(applyFileTimes(filePath, timeIf(creationTime), timeIf(lastAccessTime), timeIf(lastWriteTime)));
  });
}

std::u16string TUtils::applyFileTimes(BSTR path, const FILETIME* creation, const FILETIME* lastAccess,
                                      const FILETIME* lastWrite) {
  // Write access and no sharing: a read-only file, a directory and a file that another handle
  // holds open all fail here.
  Handle file = Handle::adopt(
      CreateFileW(pathText(path), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kFileOpenFailed;
  if (!SetFileTime(file.get(), creation, lastAccess, lastWrite)) return lastErrorText();
  return {};
}

bool TUtils::localToFileTime(const SYSTEMTIME& local, FILETIME& utc, std::u16string& failure) {
  FILETIME localFileTime;
  if (!SystemTimeToFileTime(&local, &localFileTime) || !LocalFileTimeToFileTime(&localFileTime, &utc)) {
    failure = lastErrorText();
    return false;
  }
  failure.clear();
  return true;
}

}  // namespace vantorelix
