// Writes the .reg fuzzer's seed corpus: registry-editor texts with keys,
// every value form, deletions, comments and continuations, in UTF-8 (with
// and without its mark) and in UTF-16LE with a byte order mark.
#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xff\xfe";
  for (char c : ascii) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string product =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark\\Arcwise]\r\n"
      "@=\"Quillmark Arcwise\"\r\n"
      "\"TempPath\"=\"C:\\\\Temp\\\\Arcwise\"\r\n"
      "\"DebugMode\"=dword:00000003\r\n"
      "\"MaxExtractedMB\"=dword:400\r\n"
      "\"Quoted \\\"name\\\"\"=\"a \\\\ b\"\r\n"
      "\"Binary\"=hex:00,01,02,ff\r\n"
      "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      "\"List\"=hex(7):61,00,00,00,62,00,63,00,00,00,\\\r\n"
      "  00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,80\r\n"
      "\"Empty\"=hex:\r\n\r\n";
  const std::string classes =
      "; the filter's class and the extension it handles\r\n"
      "[HKCR\\CLSID\\{9D5E2B10-6A11-4C5B-9E0D-3A2F1B7C8D90}]\r\n"
      "@=\"Arcwise filter\"\r\n"
      "[HKCR\\CLSID\\{9D5E2B10-6A11-4C5B-9E0D-3A2F1B7C8D90}\\InprocServer32]\r\n"
      "@=\"libarcwise.so\"\r\n"
      "\"ThreadingModel\"=\"Both\"\r\n"
      "[HKEY_CLASSES_ROOT\\.zip\\PersistentHandler]\r\n"
      "@=\"{5E1C3B2A-0F4D-4E6B-8A9C-7D2E1F0A3B4C}\"\r\n";
  const std::string deletions =
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "[HKCU\\Software\\Keep]\r\n"
      "\"Gone\"=-\r\n"
      "@=-\r\n"
      "[HKU\\.DEFAULT\\Software\\Other]\n"
      "\"Unix lines\"=\"yes\"\n";
  const std::pair<const char*, std::string> seeds[] = {
      {"product-utf8.reg", header + product},
      {"product-utf8-mark.reg", "\xef\xbb\xbf" + header + product},
      {"product-utf16.reg", Utf16Le(header + product)},
      {"classes.reg", header + classes},
      {"deletions-utf16.reg", Utf16Le(header + deletions)},
      {"mixed.reg", header + "  ; indented comment\r\n" + deletions + classes + "\r\n"},
      {"bad-line.reg", header + "[HKLM\\Software\\A]\r\nnot a value\r\n"},
  };
  for (const auto& [name, text] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
      fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
