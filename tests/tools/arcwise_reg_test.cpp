// arcwise-reg run as a program against this test's private registry: the
// add / query / export / delete / import round trip restores the same tree
// (byte-identical export, same values through the API), import reads UTF-8
// and the deletion and continuation syntax, a malformed import changes
// nothing, and every error is one "ERROR:" line with a non-zero exit.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <shlwapi.h>
#include <windows.h>

#include "support/files.h"
#include "support/registry_damage.h"
#include "support/run_process.h"
#include "support/test_env.h"

namespace {

using RunResult = arcwise_test::ProcessResult;
using arcwise_test::ReadAll;
using arcwise_test::WriteAll;

RunResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
  return arcwise_test::RunProcess(ARCWISE_REG_PATH, args, extraEnv);
}

const char kOk[] = "The operation completed successfully.\n";

// Every key and value below `path` as text, through the API: what the
// registry holds, independent of how the tool prints it.
void Dump(HKEY key, const std::string& indent, std::string* out) {
  for (DWORD i = 0;; ++i) {
    WCHAR name[512];
    DWORD cch = 512, type = 0;
    BYTE data[4096];
    DWORD cb = sizeof(data);
    if (RegEnumValueW(key, i, name, &cch, nullptr, &type, data, &cb) != ERROR_SUCCESS) break;
    std::ostringstream line;
    line << indent << "value " << Utf16ToUtf8(WString(name, cch)) << " type " << type << " data";
    for (DWORD b = 0; b < cb; ++b) line << ' ' << static_cast<int>(data[b]);
    *out += line.str() + "\n";
  }
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD cch = 256;
    if (RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    *out += indent + "key " + Utf16ToUtf8(WString(name, cch)) + "\n";
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
      Dump(child, indent + "  ", out);
      RegCloseKey(child);
    }
  }
}

std::string DumpKey(HKEY root, LPCWSTR path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  std::string out;
  Dump(key, "", &out);
  RegCloseKey(key);
  return out;
}

void ExpectOneErrorLine(const RunResult& result) {
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  EXPECT_EQ(result.out, "");
}

std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xff\xfe";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xff));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

}  // namespace

TEST(ArcwiseReg, RoundTripRestoresTheSameTree) {
  const std::string key = "HKCU\\Software\\RoundTrip";
  std::vector<std::vector<std::string>> adds = {
      {"add", key, "/v", "Text", "/d", "say \"hi\" to C:\\dir\\"},
      {"add", key, "/ve", "/d", "default text"},
      {"add", key, "/v", "Number", "/t", "REG_DWORD", "/d", "0x2a"},
      {"add", key, "/v", "Decimal", "/t", "reg_dword", "/d", "4294967295"},
      {"add", key, "/v", "Big", "/t", "REG_QWORD", "/d", "0x123456789abcdef0"},
      {"add", key, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%\\x"},
      {"add", key, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two\\0three"},
      {"add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", std::string(200, 'a') + "0102"},
      {"add", key, "/v", "Empty", "/t", "REG_BINARY"},
      {"add", key + "\\Child\\Grand Child", "/v", "Quote\"And\\Slash", "/d", "\xc3\xa4\xe2\x82\xac"},
      {"add", key + "\\Child\\Empty Leaf"},
  };
  for (const auto& args : adds) {
    RunResult result = RunTool(args);
    ASSERT_EQ(result.exitCode, 0) << args[3] << ": " << result.err;
    EXPECT_EQ(result.out, kOk);
  }
  // Values only the API can make: an unterminated string, a string of
  // several lines (one text line of the file could not hold it), an unnamed
  // type.
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\RoundTrip"), 0, KEY_ALL_ACCESS, &handle),
            ERROR_SUCCESS);
  const char16_t raw[] = u"no end";
  ASSERT_EQ(RegSetValueExW(handle, W("Raw"), 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 12),
            ERROR_SUCCESS);
  const char16_t lines[] = u"first\r\nsecond\nthird\r";
  ASSERT_EQ(RegSetValueExW(handle, W("Lines"), 0, REG_SZ, reinterpret_cast<const BYTE*>(lines), sizeof(lines)),
            ERROR_SUCCESS);
  const BYTE odd[] = {9, 8, 7};
  ASSERT_EQ(RegSetValueExW(handle, W("Odd"), 0, 0x4321, odd, 3), ERROR_SUCCESS);
  RegCloseKey(handle);

  const std::string before = DumpKey(HKEY_CURRENT_USER, W("Software\\RoundTrip"));
  std::string folder = arcwise_test::MakeTestFolder("roundtrip");
  std::string first = folder + "/first.reg", second = folder + "/second.reg";
  RunResult exported = RunTool({"export", key, first});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(exported.out, kOk);

  std::string bytes = ReadAll(first);
  std::u16string header = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\RoundTrip]\r\n";
  ASSERT_GE(bytes.size(), 2 + header.size() * 2);
  EXPECT_EQ(bytes.substr(0, 2 + header.size() * 2), Utf16File(header));
  std::u16string expectedLines[] = {u"@=\"default text\"\r\n", u"\"Number\"=dword:0000002a\r\n",
                                    u"\"Text\"=\"say \\\"hi\\\" to C:\\\\dir\\\\\"\r\n",
                                    u"\"Big\"=hex(b):f0,de,bc,9a,78,56,34,12\r\n"};
  for (const auto& line : expectedLines) {
    EXPECT_NE(bytes.find(Utf16File(line).substr(2)), std::string::npos) << Utf16ToUtf8(line);
  }

  RunResult removed = RunTool({"delete", key, "/f"});
  ASSERT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\RoundTrip")), "<missing>");
  ExpectOneErrorLine(RunTool({"query", key}));

  RunResult imported = RunTool({"import", first});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(imported.out, kOk);
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\RoundTrip")), before);

  ASSERT_EQ(RunTool({"export", "HKEY_CURRENT_USER\\Software\\RoundTrip", second}).exitCode, 0);
  EXPECT_EQ(ReadAll(second), bytes);
  SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\RoundTrip"));
}

TEST(ArcwiseReg, QueryPrintsLikeRegExe) {
  ASSERT_EQ(RunTool({"add", "HKLM\\SOFTWARE\\Query", "/v", "Num", "/t", "REG_DWORD", "/d", "10"}).exitCode, 0);
  ASSERT_EQ(RunTool({"add", "HKLM\\SOFTWARE\\Query", "/ve", "/d", "dflt"}).exitCode, 0);
  ASSERT_EQ(RunTool({"add", "HKLM\\SOFTWARE\\Query\\Sub", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0b"}).exitCode, 0);

  RunResult plain = RunTool({"query", "HKLM\\SOFTWARE\\Query"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(plain.out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Query\n"
            "    Num    REG_DWORD    0xa\n"
            "    (Default)    REG_SZ    dflt\n"
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Query\\Sub\n\n");

  RunResult deep = RunTool({"query", "HKLM\\SOFTWARE\\Query", "/s"});
  ASSERT_EQ(deep.exitCode, 0);
  EXPECT_NE(deep.out.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Query\\Sub\n    M    REG_MULTI_SZ    a\\0b\n"),
            std::string::npos)
      << deep.out;

  RunResult one = RunTool({"query", "HKLM\\SOFTWARE\\Query", "/v", "num"});
  ASSERT_EQ(one.exitCode, 0);
  EXPECT_EQ(one.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Query\n    Num    REG_DWORD    0xa\n\n");

  // HKCR is the Classes key of HKLM\SOFTWARE for the tool as well.
  ASSERT_EQ(RunTool({"add", "HKCR\\.qtest", "/ve", "/d", "Q.File"}).exitCode, 0);
  RunResult classes = RunTool({"query", "HKEY_LOCAL_MACHINE\\Software\\Classes\\.QTEST", "/ve"});
  ASSERT_EQ(classes.exitCode, 0) << classes.err;
  EXPECT_NE(classes.out.find("    (Default)    REG_SZ    Q.File\n"), std::string::npos);

  // Overwriting needs /f.
  ExpectOneErrorLine(RunTool({"add", "HKLM\\SOFTWARE\\Query", "/v", "Num", "/t", "REG_DWORD", "/d", "11"}));
  ASSERT_EQ(RunTool({"add", "HKLM\\SOFTWARE\\Query", "/v", "Num", "/t", "REG_DWORD", "/d", "11", "/f"}).exitCode, 0);
  EXPECT_NE(RunTool({"query", "HKLM\\SOFTWARE\\Query", "/v", "Num"}).out.find("0xb"), std::string::npos);
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Query"));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, W(".qtest"));
}

TEST(ArcwiseReg, ImportReadsUtf8DeletionsAndContinuations) {
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Imp\\Gone\\Deep", "/v", "x", "/d", "1"}).exitCode, 0);
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Imp\\Kept", "/v", "Drop", "/d", "1"}).exitCode, 0);
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Imp\\Kept", "/v", "Stay", "/d", "1"}).exitCode, 0);
  std::string file = arcwise_test::MakeTestFolder("import-utf8") + "/in.reg";
  WriteAll(file,
            "\xef\xbb\xbfWindows Registry Editor Version 5.00\n"
            "\n"
            "; comments are ignored\n"
            "[-HKEY_CURRENT_USER\\Software\\Imp\\Gone]\n"
            "[HKEY_CURRENT_USER\\Software\\Imp\\Kept]\n"
            "\"Drop\"=-\n"
            "\"Bytes\"=hex:01,02,\\\n"
            "  03,04\n"
            "@=\"caf\xc3\xa9\"\n"
            "\"Count\"=dword:00000010\n");
  RunResult result = RunTool({"import", file});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\Imp")),
            "key Kept\n"
            "  value Stay type 1 data 49 0 0 0\n"
            "  value Bytes type 3 data 1 2 3 4\n"
            "  value  type 1 data 99 0 97 0 102 0 233 0 0 0\n"
            "  value Count type 4 data 16 0 0 0\n");
  SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\Imp"));
}

TEST(ArcwiseReg, MalformedImportChangesNothing) {
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Bad\\Old", "/v", "Keep", "/d", "yes"}).exitCode, 0);
  const std::string before = DumpKey(HKEY_CURRENT_USER, W("Software\\Bad"));
  std::string folder = arcwise_test::MakeTestFolder("import-bad");
  // Valid changes first, the fault at the end: nothing of it may stick.
  const std::u16string good =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[-HKEY_CURRENT_USER\\Software\\Bad\\Old]\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Bad\\New]\r\n"
      u"\"A\"=\"b\"\r\n";
  const std::u16string faults[] = {
      u"\"Broken\"=dword:123456789\r\n",  // nine digits
      u"\"Broken\"=hex:1,zz\r\n",
      u"\"Broken\"=\"unterminated\r\n",
      u"\"Broken\"=str:x\r\n",
      u"[HKEY_NOWHERE\\Software]\r\n",
      u"just text\r\n",
  };
  for (const auto& fault : faults) {
    std::string file = folder + "/bad.reg";
    WriteAll(file, Utf16File(good + fault));
    RunResult result = RunTool({"import", file});
    ExpectOneErrorLine(result);
    EXPECT_NE(result.err.find("line 6"), std::string::npos) << result.err;
    EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\Bad")), before) << Utf16ToUtf8(fault);
  }
  // No header at all.
  WriteAll(folder + "/noheader.reg", "[HKEY_CURRENT_USER\\Software\\Bad\\New]\n");
  ExpectOneErrorLine(RunTool({"import", folder + "/noheader.reg"}));
  // A well-formed file the registry refuses (read-only) changes nothing either.
  WriteAll(folder + "/good.reg", Utf16File(good));
  RunResult refused = RunTool({"import", folder + "/good.reg"}, {"ARCWISE_REGISTRY_READONLY=1"});
  ExpectOneErrorLine(refused);
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\Bad")), before);
  SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\Bad"));
}

TEST(ArcwiseReg, ErrorsAreOneLineWithNonZeroExit) {
  ASSERT_EQ(RunTool({"add", "HKCU\\Software\\Errs", "/v", "V", "/d", "1"}).exitCode, 0);
  std::string folder = arcwise_test::MakeTestFolder("errors");
  WriteAll(folder + "/exists.reg", "x");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"query"},
      {"query", "HKXX\\Software"},
      {"query", "HKCU\\Software\\Errs\\Missing"},
      {"query", "HKCU\\Software\\Errs", "/v", "Missing"},
      {"query", "HKCU\\Software\\Errs", "/q"},
      {"add", "HKCU\\Software\\Errs", "/v", "V", "/d", "2"},
      {"add", "HKCU\\Software\\Errs", "/v", "D", "/t", "REG_DWORD", "/d", "4294967296"},
      {"add", "HKCU\\Software\\Errs", "/v", "D", "/t", "REG_DWORD", "/d", "12abc"},
      {"add", "HKCU\\Software\\Errs", "/v", "B", "/t", "REG_BINARY", "/d", "abc"},
      {"add", "HKCU\\Software\\Errs", "/v", "T", "/t", "REG_FANCY", "/d", "1"},
      {"add", "HKCU\\Software\\Errs", "/v"},
      {"delete", "HKCU\\Software\\Errs"},
      {"delete", "HKCU\\Software\\Errs", "/v", "Missing", "/f"},
      {"delete", "HKCU", "/f"},
      {"export", "HKCU\\Software\\Errs", folder + "/exists.reg"},
      {"export", "HKCU\\Software\\Errs\\Missing", folder + "/new.reg"},
      {"import", folder + "/does-not-exist.reg"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? std::string("(no arguments)") : args[0] + " " + (args.size() > 1 ? args[1] : ""));
    ExpectOneErrorLine(RunTool(args));
  }
  // The refusals changed nothing.
  EXPECT_EQ(DumpKey(HKEY_CURRENT_USER, W("Software\\Errs")), "value V type 1 data 49 0 0 0\n");
  EXPECT_EQ(ReadAll(folder + "/exists.reg"), "x");
  SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\Errs"));
}

TEST(ArcwiseReg, ARegistryThatIsHeldOrDamagedIsNamedAsSuch) {
  const std::string folder = arcwise_test::MakeTestFolder("unusable");
  const std::string held = folder + "/held.db", garbage = folder + "/garbage.db", cut = folder + "/cut.db";
  const std::vector<std::string> add = {"add", "HKCU\\Software\\Held", "/v", "V", "/d", "1", "/f"};
  ASSERT_EQ(arcwise_test::RunProcess(ARCWISE_REG_PATH, add, {"ARCWISE_REGISTRY=" + held}).exitCode, 0);
  arcwise_test::WriteGarbageRegistry(garbage);
  arcwise_test::WriteTruncatedRegistry(cut);
  arcwise_test::RegistryWriteLock lock(held);
  ASSERT_TRUE(lock.Held());

  const struct {
    std::string database;
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {held, add, "The registry " + held + " is busy (locked by another process)."},
      {garbage, {"query", "HKCU\\Software"}, "The registry " + garbage + " is damaged: file is not a database."},
      {cut, {"query", "HKCU\\Software\\Filler", "/s"},
       "The registry " + cut + " is damaged: database disk image is malformed."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.database);
    RunResult run = arcwise_test::RunProcess(
        ARCWISE_REG_PATH, c.args, {"ARCWISE_REGISTRY=" + c.database, "ARCWISE_REGISTRY_BUSY_TIMEOUT_MS=100"});
    ExpectOneErrorLine(run);
    EXPECT_EQ(run.err, "ERROR: " + c.error + "\n");
  }
}
