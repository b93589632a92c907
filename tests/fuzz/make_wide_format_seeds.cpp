// Writes the wide formatter fuzzer's seed corpus: formats like the module's
// log lines and ones that reach every flag, width, precision and length
// modifier, each followed by '\n' and bytes to draw arguments from.
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  // Enough argument bytes for four arguments of any kind, strings included.
  std::string arguments;
  for (int i = 0; i < 96; ++i) arguments.push_back(static_cast<char>(i * 37 + 11));
  const char* const formats[] = {
      "ERROR: entry %s of %s is not extracted: %s. Error code = %u \n",
      "ERROR: IPersistStream->Load failed for %s. Error=0x%08x \n",
      "INFO: %s is set to %u%s",
      "INFO: Debugging level is set to %d \n",
      "100%% of %s",
      "%-8s|%8s|%.3s|%-*.*s",
      "%+d % d %05d %-5d|%.0d",
      "%#x %#X %#010x %.8X",
      "%lld %llu %I64x %jd",
      "%zd %zu %td %Ix %I32u",
      "%hd %hhu %ld %lx",
      "%c%c%5c%-3c|",
      "%*d %-*u %.*x",
      "unknown %q %n %p %S %5.2f and a trailing %",
      "%I6d %hld %5%d %.*.5d",
      "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC %s",
  };
  int index = 0;
  for (const char* format : formats) {
    const std::string name = std::string(argv[1]) + "/format-" + std::to_string(index++);
    std::ofstream out(name, std::ios::binary);
    out << format << '\n' << arguments;
    if (!out) {
      fprintf(stderr, "cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
