// Threads benchmark: N filter objects walk archives on N threads of one
// process, the way an indexer's worker threads do, so what serializes them
// (the registry, the logger, the COM runtime, the module list) shows as
// archives per second that do not grow with the threads. Each thread takes
// the next archive from a shared list (every archive given, --repeat times),
// loads a filter for it with LoadIFilter, walks every chunk to its end
// (text and values) and releases it. Run by run_dump.sh; not a test.
//
// Usage: arcwise-thread-bench [--threads N] [--repeat R] ARCHIVE...
// The modules must be registered in the registry ARCWISE_REGISTRY names
// (arcwise-dump registers them on its first run).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <filter.h>
#include <ntquery.h>
#include <objbase.h>

namespace {

struct Totals {
  std::atomic<size_t> archives{0};
  std::atomic<unsigned long long> characters{0};
  std::atomic<size_t> values{0};
  std::atomic<bool> failed{false};
};

// The whole of one filter's output; false (with a message) on any failure.
bool Walk(IFilter* filter, const std::string& name, Totals* totals) {
  ULONG flags = 0;
  HRESULT hr = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
  if (FAILED(hr)) {
    std::fprintf(stderr, "arcwise-thread-bench: %s: Init failed, 0x%08X\n", name.c_str(), unsigned(hr));
    return false;
  }
  std::vector<WCHAR> buffer(16 * 1024);
  unsigned long long characters = 0;
  for (;;) {
    STAT_CHUNK chunk = {};
    hr = filter->GetChunk(&chunk);
    if (hr == FILTER_E_END_OF_CHUNKS) break;
    if (FAILED(hr)) {
      std::fprintf(stderr, "arcwise-thread-bench: %s: GetChunk failed, 0x%08X\n", name.c_str(), unsigned(hr));
      return false;
    }
    if (chunk.flags & CHUNK_TEXT) {
      for (;;) {
        ULONG count = ULONG(buffer.size());
        hr = filter->GetText(&count, buffer.data());
        if (hr == FILTER_E_NO_MORE_TEXT) break;
        if (FAILED(hr)) {
          std::fprintf(stderr, "arcwise-thread-bench: %s: GetText failed, 0x%08X\n", name.c_str(), unsigned(hr));
          return false;
        }
        characters += count;
        if (hr == FILTER_S_LAST_TEXT) break;
      }
    } else if (chunk.flags & CHUNK_VALUE) {
      PROPVARIANT* value = nullptr;
      hr = filter->GetValue(&value);
      if (SUCCEEDED(hr) && value) {
        PropVariantClear(value);
        CoTaskMemFree(value);
        ++totals->values;
      }
    }
  }
  totals->characters += characters;
  return true;
}

void Worker(const std::vector<WString>& work, const std::vector<std::string>& names, std::atomic<size_t>* next,
            Totals* totals) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    totals->failed = true;
    return;
  }
  for (;;) {
    const size_t i = next->fetch_add(1);
    if (i >= work.size() || totals->failed) break;
    // LoadIFilter hands out the object's IUnknown.
    IUnknown* object = nullptr;
    IFilter* filter = nullptr;
    HRESULT hr = LoadIFilter(work[i].c_str(), nullptr, reinterpret_cast<void**>(&object));
    if (SUCCEEDED(hr) && object) {
      hr = object->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&filter));
      object->Release();
    }
    if (FAILED(hr) || !filter) {
      std::fprintf(stderr, "arcwise-thread-bench: %s: LoadIFilter failed, 0x%08X (are the modules registered?)\n",
                   names[i].c_str(), unsigned(hr));
      totals->failed = true;
      break;
    }
    const bool walked = Walk(filter, names[i], totals);
    filter->Release();
    if (!walked) {
      totals->failed = true;
      break;
    }
    ++totals->archives;
  }
  CoUninitialize();
}

int Usage() {
  std::fprintf(stderr, "usage: arcwise-thread-bench [--threads N] [--repeat R] ARCHIVE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 1;
  int repeat = 1;
  std::vector<std::string> archives;
  for (int i = 1; i < argc; ++i) {
    if ((std::strcmp(argv[i], "--threads") == 0 || std::strcmp(argv[i], "--repeat") == 0) && i + 1 < argc) {
      const int value = std::atoi(argv[i + 1]);
      if (value < 1 || value > 256) return Usage();
      (argv[i][2] == 't' ? threads : repeat) = value;
      ++i;
    } else if (argv[i][0] == '-') {
      return Usage();
    } else {
      archives.push_back(argv[i]);
    }
  }
  if (archives.empty()) return Usage();

  std::vector<WString> work;
  std::vector<std::string> names;
  for (int r = 0; r < repeat; ++r) {
    for (const std::string& archive : archives) {
      WString wide = Utf8ToUtf16(archive);
      for (WCHAR& c : wide) {
        if (c == u'/') c = u'\\';
      }
      work.push_back(wide);
      names.push_back(archive);
    }
  }

  Totals totals;
  std::atomic<size_t> next{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(Worker, std::cref(work), std::cref(names), &next, &totals);
  for (std::thread& thread : pool) thread.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (totals.failed) return 1;
  std::printf("threads %d  archives %zu  characters %llu  values %zu  seconds %.3f  archives/s %.2f\n", threads,
              totals.archives.load(), totals.characters.load(), totals.values.load(), seconds,
              double(totals.archives.load()) / seconds);
  return 0;
}
