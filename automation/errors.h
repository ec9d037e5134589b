// The server's error classes. They are raised inside the server and caught at every COM edge;
// none ever leaves the DLL. Messages are UTF-16.
#pragma once

#include <windows.h>

#include <string>

namespace vantorelix {

class Exception {
 public:
  explicit Exception(std::u16string message, DWORD helpContext = 0)
      : message_(std::move(message)), helpContext_(helpContext) {}
  virtual ~Exception() = default;
  const std::u16string& message() const { return message_; }
  DWORD helpContext() const { return helpContext_; }

 protected:
  std::u16string message_;
  DWORD helpContext_;
};

class EOleError : public Exception {
 public:
  using Exception::Exception;
};

// Carries an HRESULT. An empty message is made from the code: the system's text for it, or
// "OLE エラー" and the code in eight hexadecimal digits when the system has none.
class EOleSysError : public EOleError {
 public:
  EOleSysError(std::u16string message, HRESULT code, DWORD helpContext = 0);
  explicit EOleSysError(HRESULT code) : EOleSysError(std::u16string(), code) {}
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

class EOleException : public EOleSysError {
 public:
  EOleException(std::u16string message, HRESULT code, std::u16string source, std::u16string helpFile, DWORD helpContext)
      : EOleSysError(std::move(message), code, helpContext),
        source_(std::move(source)),
        helpFile_(std::move(helpFile)) {}
  const std::u16string& source() const { return source_; }
  const std::u16string& helpFile() const { return helpFile_; }

 private:
  std::u16string source_;
  std::u16string helpFile_;
};

class EOleRegistrationError : public EOleError {
 public:
  using EOleError::EOleError;
};

// A text that could not be converted (a GUID text that is no GUID).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The system's text for an HRESULT with trailing spaces, line breaks and periods removed.
std::u16string systemMessageText(HRESULT code);

// A text from the library's string table.
std::u16string frameText(UINT id);

// The module whose resources hold the frame's texts; set once at start-up.
void setResourceModule(HINSTANCE module);
HINSTANCE resourceModule();

}  // namespace vantorelix
