// The module's diagnostic log: one process-wide Debugger, g_debugger, owned by
// the module and alive from before any module code runs (it is
// constant-initialised) until the module is unloaded.
// Start is called once, by the module entry at process attach, before any
// other thread uses the module; it sets the level, the sink and, for the file
// sink, the log file name, which afterwards are only read. Print may be called
// from any thread at any time; it never fails its caller and reports nothing.
#pragma once

#include <cstdarg>

#include "compat/Win32Compat.h"

class Debugger {
 public:
  // Where the lines go (the registry value OutputMode).
  enum OutputModes : INT {
    SystemDebugger = 0,  // OutputDebugStringW
    Console = 1,         // the process's standard output
    File = 2,            // a log file in the TempPath folder
  };

  constexpr Debugger() noexcept {}
  virtual ~Debugger();

  Debugger(const Debugger&) = delete;
  Debugger& operator=(const Debugger&) = delete;

  // productKey: the product's key under HKEY_LOCAL_MACHINE, or null to set
  // the prefix only; name: the prefix text without its colon, or null.
  // Meant to be called once per process; calling it again (tests do) starts
  // over from the registry and is safe while no other thread prints.
  void Start(LPCWSTR productKey, LPCWSTR name);

  // Writes Prefix + the formatted message to the sink when level <= Level.
  // Formats are the platform's wide printf formats (%s wide string, %d, %u,
  // %x, %08x, %%). A null format writes nothing.
  void Print(INT level, LPCWSTR format, ...);

  INT GetLevel() const { return Level; }
  INT GetOutputMode() const { return OutputMode; }
  const WString& GetPrefix() const { return Prefix; }
  const WString& GetLogFileName() const { return LogFileName; }

 private:
  void PrintV(LPCWSTR format, va_list args) noexcept;
  void WriteLine(const WString& line);
  void AppendToLogFile(const WString& line);

  INT Level = 0;
  INT OutputMode = SystemDebugger;
  WString Prefix;
  WString LogFileName;
  // Held from opening the log file to closing it, so lines of different
  // threads never interleave.
  StaticMutex m_fileLock;
};

// The process's logger.
extern Debugger g_debugger;
