// libFuzzer target for arcwise-reg's .reg reader and writer. Parsing needs no
// registry, so none is touched. Any bytes must parse or fail with a line
// number; a UTF-8 file must read exactly as the same text in UTF-16LE with a
// byte order mark; and the keys and values a file sets, written back as an
// export writes them, must read back the same (what export writes, import
// takes).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "reg_file.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "reg_file_fuzzer: %s\n", what);
  abort();
}

bool SameOp(const RegFileOp& a, const RegFileOp& b) {
  return a.kind == b.kind && a.key.root == b.key.root && a.key.rootName == b.key.rootName &&
         a.key.subKey == b.key.subKey && a.value.name == b.value.name && a.value.type == b.value.type &&
         a.value.data == b.value.data;
}

bool SameOps(const std::vector<RegFileOp>& a, const std::vector<RegFileOp>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameOp(a[i], b[i])) return false;
  }
  return true;
}

std::string Utf16LeWithMark(const WString& text) {
  std::string bytes = "\xff\xfe";
  for (WCHAR c : text) {
    bytes.push_back(static_cast<char>(c & 0xff));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// The keys and values the operations leave set, in file order, as an export
// would list them, and the operations reading that export must give.
void Exported(const std::vector<RegFileOp>& ops, std::vector<RegFileKey>* keys, std::vector<RegFileOp>* expected) {
  for (const RegFileOp& op : ops) {
    if (op.kind == RegFileOp::kCreateKey) {
      keys->push_back(RegFileKey{op.key.Full(), {}});
      RegFileOp create;
      create.kind = RegFileOp::kCreateKey;
      create.key = op.key;
      expected->push_back(create);
    } else if (op.kind == RegFileOp::kSetValue) {
      // A value line always follows the key line it belongs to.
      Require(!keys->empty() && keys->back().path == op.key.Full(), "a value is set outside its key");
      keys->back().values.push_back(op.value);
      expected->push_back(op);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<RegFileOp> ops;
  std::string error;
  const bool parsed = ParseRegFile(bytes, &ops, &error);
  if (!parsed) {
    Require(!error.empty(), "a refused file has no reason");
  } else {
    Require(error.empty(), "an accepted file has a reason");
  }

  const bool utf16 = size >= 2 && ((data[0] == 0xff && data[1] == 0xfe) || (data[0] == 0xfe && data[1] == 0xff));
  if (!utf16) {
    const bool utf8Mark = size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf;
    const std::string asUtf16 = Utf16LeWithMark(Utf8ToUtf16(std::string_view(bytes).substr(utf8Mark ? 3 : 0)));
    std::vector<RegFileOp> again;
    std::string againError;
    Require(ParseRegFile(asUtf16, &again, &againError) == parsed && againError == error,
            "UTF-16LE reads differently from UTF-8");
    Require(SameOps(again, ops), "UTF-16LE gives other operations than UTF-8");
  }
  if (!parsed) return 0;

  std::vector<RegFileKey> keys;
  std::vector<RegFileOp> expected;
  Exported(ops, &keys, &expected);
  std::vector<RegFileOp> reread;
  std::string rereadError;
  if (!ParseRegFile(WriteRegFile(keys), &reread, &rereadError)) {
    fprintf(stderr, "reg_file_fuzzer: %s\n", rereadError.c_str());
    Require(false, "an exported file does not read back");
  }
  Require(SameOps(reread, expected), "an exported file reads back other keys or values");
  return 0;
}
