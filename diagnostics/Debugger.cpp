#include "diagnostics/Debugger.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/RegistryReaders.h"
#include "diagnostics/TempFileName.h"

// Constant-initialised so that lines printed before Start (from other static
// objects' constructors, say) meet Level 0 and are dropped. The priority
// registers its destructor before the module's entry hook registers the
// detach call, so "DLL was unloaded" is still logged by a living logger,
// at dlclose and at process exit alike.
ARCWISE_CONSTINIT Debugger g_debugger ARCWISE_INIT_PRIORITY(101);

namespace {

// ISO-8859-1, the log file's fixed 8-bit encoding.
constexpr UINT kLogCodePage = 28591;

// A DWORD setting of the product key within 0..maximum (as an unsigned
// number); anything else is 0.
INT ReadSetting(LPCWSTR productKey, LPCWSTR valueName, DWORD maximum) {
  DWORD value = 0;
  if (!ReadRegistryDword(productKey, valueName, value) || value > maximum) return 0;
  return static_cast<INT>(value);
}

}  // namespace

Debugger::~Debugger() = default;

void Debugger::Start(LPCWSTR productKey, LPCWSTR name) {
  Prefix = name ? WString(name) + W(":") : WString(W("Quillmark:"));
  if (!productKey) return;

  // Until the sink is settled every line, the announcements included, goes to
  // the system debugger.
  OutputMode = SystemDebugger;
  LogFileName.clear();

  Level = ReadSetting(productKey, W("DebugMode"), 3);
  Print(2, W("INFO: Debugging level is set to %d \n"), Level);

  switch (ReadSetting(productKey, W("OutputMode"), 2)) {
    case Console:
      Print(2, W("INFO: Debugger outputmode is set to <CONSOLE>\n"));
      OutputMode = Console;
      break;
    case File: {
      Print(2, W("INFO:  Debugger outputmode is set to <FILE>\n"));
      WString folderText = W("NOT DEFINED");
      WString folder;
      WString fileName;
      if (ReadTempPath(productKey, folder)) {
        folderText = folder;
        if (CreateTempFile(folder, fileName, W("log"))) {
          LogFileName = fileName;
          Print(3, W("INFO: LOG file full name is: %s \n"), LogFileName.c_str());
          OutputMode = File;
          break;
        }
      }
      Print(1, W("ERROR: Failure to create LOG file in the TempPath folder: %s \n"),
            folderText.c_str());
      break;
    }
    default:
      Print(2, W("INFO: Debugger outputmode is set to <SYSTEM DEBUGGER>\n"));
      break;
  }
}

void Debugger::Print(INT level, LPCWSTR format, ...) {
  if (level > Level || !format) return;
  va_list args;
  va_start(args, format);
  PrintV(format, args);
  va_end(args);
}

void Debugger::PrintV(LPCWSTR format, va_list args) noexcept {
  // Logging must never fail its caller, not even when memory runs out.
  try {
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int length = _vscwprintf(format, measureArgs);
    va_end(measureArgs);
    if (length < 0) return;
    std::vector<WCHAR> buffer(static_cast<size_t>(length) + 1);
    const int written = _vsnwprintf(buffer.data(), buffer.size(), format, args);
    if (written < 0) return;

    WString line;
    line.reserve(Prefix.size() + static_cast<size_t>(written));
    line += Prefix;
    line.append(buffer.data(), static_cast<size_t>(written));
    WriteLine(line);
  } catch (...) {
  }
}

void Debugger::WriteLine(const WString& line) {
  switch (OutputMode) {
    case Console: {
      // The line is text, not a format: written as it is.
      const std::string text = Utf16ToUtf8(line);
      fwrite(text.data(), 1, text.size(), stdout);
      fflush(stdout);
      break;
    }
    case File:
      AppendToLogFile(line);
      break;
    default:
      OutputDebugStringW(line.c_str());
      break;
  }
}

void Debugger::AppendToLogFile(const WString& line) {
  // The log is 8-bit text with CR LF line ends: Latin-1 (code page 28591),
  // where every unit up to U+00FF is its own byte and any other character
  // becomes '?', so the rest of the line and its line end are not lost. No
  // best fit: a '?' says plainly that a character was not kept.
  WString text;
  text.reserve(line.size() + 8);
  for (WCHAR unit : line) {
    if (unit == W('\n')) text += W('\r');
    text += unit;
  }
  std::string bytes;
  if (!text.empty()) {
    const int units = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(kLogCodePage, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr, 0,
                                         "?", nullptr);
    if (size <= 0) return;
    bytes.resize(static_cast<size_t>(size));
    if (WideCharToMultiByte(kLogCodePage, WC_NO_BEST_FIT_CHARS, text.data(), units, bytes.data(), size, "?",
                            nullptr) != size) {
      return;
    }
  }

  // Opened and closed per line, so the file can be read, moved or deleted
  // while the module runs; a deleted file is made again by the next line.
  std::lock_guard<StaticMutex> lock(m_fileLock);
  // Append-only access: every write lands at the end of the file.
  HANDLE file = CreateFileW(LogFileName.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;  // this line is lost; the next one tries again
  DWORD done = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(file);
}
