#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}
DebugOutputCapture g_capture = nullptr;
void* g_captureContext = nullptr;

}  // namespace

void ArcwiseSetDebugOutputCapture(DebugOutputCapture capture, void* context) {
  std::lock_guard<std::mutex> lock(OutputMutex());
  g_capture = capture;
  g_captureContext = context;
}

void OutputDebugStringW(LPCWSTR text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(OutputMutex());
  if (g_capture) {
    g_capture(text, g_captureContext);
    return;
  }
  // One fwrite per call so lines from different threads never interleave.
  std::string utf8 = Utf16ToUtf8(text);
  fwrite(utf8.data(), 1, utf8.size(), stderr);
  fflush(stderr);
}

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  OutputDebugStringW(Utf8ToUtf16(text).c_str());
}
