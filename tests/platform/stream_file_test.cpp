// SHCreateStreamOnFileEx: share modes that meet CreateFileW's, creation
// dispositions, reads and seeks past the end, Stat names, sizes, clones, and
// the Windows error codes for each failure.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "compat/ComPtr.h"
#include <shlwapi.h>

#include "support/files.h"
#include "support/stream_util.h"
#include "support/test_env.h"

namespace {

using arcwise_test::kShareAll;

class StreamFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
    m_posix = m_folder + "/data.bin";
    m_path = arcwise_test::WideFolder(m_folder) + W("data.bin");
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }

  void WriteFileContent(const std::string& content) { arcwise_test::WriteAll(m_posix, content); }
  std::string FileContent() const { return arcwise_test::ReadAll(m_posix); }
  HRESULT Open(DWORD mode, IStream** stream, BOOL create = FALSE) {
    return SHCreateStreamOnFileEx(m_path.c_str(), mode, 0, create, nullptr, stream);
  }

  std::string m_folder;
  std::string m_posix;
  WString m_path;
};

using arcwise_test::SeekTo;

TEST_F(StreamFileTest, DenyWriteStreamBlocksWritersUntilReleased) {
  WriteFileContent("shared");
  ComPtr<IStream> reader;
  ASSERT_EQ(S_OK, Open(STGM_READ | STGM_SHARE_DENY_WRITE, &reader));

  ComPtr<IStream> writer;
  EXPECT_EQ(HRESULT(0x80070020), Open(STGM_WRITE | STGM_SHARE_DENY_NONE, &writer));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(STGM_READWRITE | STGM_SHARE_DENY_NONE, &writer));
  EXPECT_FALSE(writer);
  // The same table serves CreateFileW.
  HANDLE handle = CreateFileW(m_path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, handle);
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
  // Other readers are welcome.
  ComPtr<IStream> secondReader;
  EXPECT_EQ(S_OK, Open(STGM_READ | STGM_SHARE_DENY_NONE, &secondReader));
  secondReader.Reset();

  // A clone keeps the handle, and with it the share, alive.
  ComPtr<IStream> clone;
  ASSERT_EQ(S_OK, reader->Clone(&clone));
  reader.Reset();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(STGM_WRITE | STGM_SHARE_DENY_NONE, &writer));
  clone.Reset();

  ASSERT_EQ(S_OK, Open(STGM_WRITE | STGM_SHARE_DENY_NONE, &writer));
  ULONG put = 0;
  EXPECT_EQ(S_OK, writer->Write("S", 1, &put));
  writer.Reset();
  EXPECT_EQ("Shared", FileContent());
}

TEST_F(StreamFileTest, ShareModesMapToCreateFileShares) {
  WriteFileContent("x");
  ComPtr<IStream> first, second;
  // Exclusive: nobody else.
  ASSERT_EQ(S_OK, Open(STGM_READ | STGM_SHARE_EXCLUSIVE, &first));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(STGM_READ | STGM_SHARE_DENY_NONE, &second));
  first.Reset();
  // Deny read: writers may come, readers may not.
  ASSERT_EQ(S_OK, Open(STGM_READ | STGM_SHARE_DENY_READ, &first));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(STGM_READ | STGM_SHARE_DENY_NONE, &second));
  EXPECT_EQ(S_OK, Open(STGM_WRITE | STGM_SHARE_DENY_NONE, &second));
  second.Reset();
  first.Reset();
  // Compatibility mode shares like deny-none; a stream that denies writing
  // cannot join a writer that is already there.
  ASSERT_EQ(S_OK, Open(STGM_READWRITE | STGM_SHARE_COMPAT, &first));
  EXPECT_EQ(S_OK, Open(STGM_READWRITE | STGM_SHARE_DENY_NONE, &second));
  second.Reset();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), Open(STGM_READ | STGM_SHARE_DENY_WRITE, &second));
}

TEST_F(StreamFileTest, CreationDispositionsAndMissingFiles) {
  ComPtr<IStream> stream;
  EXPECT_EQ(HRESULT(0x80070002), Open(STGM_READ, &stream));
  EXPECT_FALSE(stream);
  WString missingFolder = arcwise_test::WideFolder(m_folder) + W("absent\\data.bin");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
            SHCreateStreamOnFileEx(missingFolder.c_str(), STGM_READ, 0, FALSE, nullptr, &stream));

  // fCreate without STGM_CREATE makes a new file and refuses an existing one.
  ASSERT_EQ(S_OK, Open(STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &stream, TRUE));
  ASSERT_EQ(S_OK, stream->Write("first", 5, nullptr));
  stream.Reset();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), Open(STGM_READWRITE, &stream, TRUE));
  EXPECT_EQ("first", FileContent());

  // STGM_CREATE replaces what is there.
  ASSERT_EQ(S_OK, Open(STGM_WRITE | STGM_CREATE, &stream));
  ASSERT_EQ(S_OK, stream->Write("2nd", 3, nullptr));
  stream.Reset();
  EXPECT_EQ("2nd", FileContent());

  // Modes a file stream cannot have.
  EXPECT_EQ(E_INVALIDARG, Open(STGM_READ | STGM_TRANSACTED, &stream));
  EXPECT_EQ(E_INVALIDARG, Open(3, &stream));
  EXPECT_EQ(E_INVALIDARG, Open(STGM_READ | 0x50, &stream));
  ComPtr<IStream> other;
  other.Attach(SHCreateMemStream(nullptr, 0));
  EXPECT_EQ(E_INVALIDARG, SHCreateStreamOnFileEx(m_path.c_str(), STGM_READ, 0, FALSE, other.Get(), &stream));
  EXPECT_EQ(E_INVALIDARG, SHCreateStreamOnFileEx(m_path.c_str(), STGM_READ, 0, FALSE, nullptr, nullptr));
}

TEST_F(StreamFileTest, SeekAndReadPastTheEnd) {
  WriteFileContent("0123456789");
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, Open(STGM_READ | STGM_SHARE_DENY_WRITE, &stream));
  char buffer[32];
  ULONG got = 0;
  ULARGE_INTEGER where;
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), -3, STREAM_SEEK_END, &where));
  EXPECT_EQ(7u, where.QuadPart);
  ASSERT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(3u, got);
  EXPECT_EQ(0, std::memcmp(buffer, "789", 3));
  got = 99;
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got)) << "at the end: success with nothing";
  EXPECT_EQ(0u, got);

  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 5, STREAM_SEEK_END, &where));
  EXPECT_EQ(15u, where.QuadPart);
  got = 99;
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);

  EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(stream.Get(), -16, STREAM_SEEK_CUR));
  EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(stream.Get(), 0, 7));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 0, STREAM_SEEK_CUR, &where));
  EXPECT_EQ(15u, where.QuadPart) << "a refused seek leaves the pointer";
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 2, STREAM_SEEK_SET));
  ASSERT_EQ(S_OK, stream->Read(buffer, 3, nullptr));
  EXPECT_EQ(0, std::memcmp(buffer, "234", 3));
  EXPECT_EQ(STG_E_INVALIDPOINTER, stream->Read(nullptr, 3, &got));

  // A read-only stream refuses to change the file.
  EXPECT_EQ(STG_E_ACCESSDENIED, stream->Write("x", 1, nullptr));
  ULARGE_INTEGER size;
  size.QuadPart = 1;
  EXPECT_EQ(STG_E_ACCESSDENIED, stream->SetSize(size));
  EXPECT_EQ("0123456789", FileContent());
}

TEST_F(StreamFileTest, WritesGrowTheFileAndSetSizeCuts) {
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, Open(STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, &stream));
  ASSERT_EQ(S_OK, stream->Write("head", 4, nullptr));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 4, STREAM_SEEK_CUR));
  ULONG put = 0;
  ASSERT_EQ(S_OK, stream->Write("tail", 4, &put));
  EXPECT_EQ(4u, put);
  ASSERT_EQ(S_OK, stream->Commit(STGC_DEFAULT));
  EXPECT_EQ(std::string("head\0\0\0\0tail", 12), FileContent());

  ULARGE_INTEGER size;
  size.QuadPart = 6;
  ASSERT_EQ(S_OK, stream->SetSize(size));
  EXPECT_EQ(std::string("head\0\0", 6), FileContent());
  ULARGE_INTEGER where;
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 0, STREAM_SEEK_CUR, &where));
  EXPECT_EQ(12u, where.QuadPart) << "SetSize does not move the seek pointer";
  size.QuadPart = 20;
  ASSERT_EQ(S_OK, stream->SetSize(size));
  EXPECT_EQ(20u, std::filesystem::file_size(m_posix));

  // A write-only stream cannot be read.
  stream.Reset();
  ASSERT_EQ(S_OK, Open(STGM_WRITE, &stream));
  char c;
  EXPECT_EQ(STG_E_ACCESSDENIED, stream->Read(&c, 1, nullptr));
}

TEST_F(StreamFileTest, StatNamesTheFullPath) {
  WriteFileContent("12345");
  ComPtr<IStream> stream;
  DWORD mode = STGM_READ | STGM_SHARE_DENY_WRITE;
  ASSERT_EQ(S_OK, Open(mode, &stream));
  STATSTG stat;
  ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_DEFAULT));
  ASSERT_NE(nullptr, stat.pwcsName);
  std::string name = Utf16ToUtf8(stat.pwcsName);
  CoTaskMemFree(stat.pwcsName);
  EXPECT_EQ(std::filesystem::canonical(m_posix), std::filesystem::canonical(name)) << name;
  EXPECT_EQ('/', name[0]) << "a full path: " << name;
  EXPECT_EQ(DWORD(STGTY_STREAM), stat.type);
  EXPECT_EQ(5u, stat.cbSize.QuadPart);
  EXPECT_EQ(mode, stat.grfMode);
  EXPECT_NE(0u, stat.mtime.dwHighDateTime) << "modification time filled in";
  EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, stat.clsid));

  std::memset(&stat, 0xAB, sizeof stat);
  ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(nullptr, stat.pwcsName);
  EXPECT_EQ(5u, stat.cbSize.QuadPart);
}

TEST_F(StreamFileTest, ClonesHaveTheirOwnSeekPointer) {
  WriteFileContent("abcdefgh");
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, Open(STGM_READWRITE | STGM_SHARE_DENY_WRITE, &stream));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 2, STREAM_SEEK_SET));
  ComPtr<IStream> clone;
  ASSERT_EQ(S_OK, stream->Clone(&clone));
  char a[2], b[2];
  ASSERT_EQ(S_OK, clone->Read(a, 2, nullptr));
  ASSERT_EQ(S_OK, SeekTo(clone.Get(), 0, STREAM_SEEK_SET));
  ASSERT_EQ(S_OK, clone->Write("XY", 2, nullptr));
  ASSERT_EQ(S_OK, stream->Read(b, 2, nullptr));
  EXPECT_EQ(0, std::memcmp(a, "cd", 2));
  EXPECT_EQ(0, std::memcmp(b, "cd", 2)) << "the clone's seeks do not move the original";
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 0, STREAM_SEEK_SET));
  ASSERT_EQ(S_OK, stream->Read(b, 2, nullptr));
  EXPECT_EQ(0, std::memcmp(b, "XY", 2)) << "both see the same bytes";

  // Copy the rest into memory.
  ComPtr<IStream> memory;
  memory.Attach(SHCreateMemStream(nullptr, 0));
  ULARGE_INTEGER all, read, written;
  all.QuadPart = ~0ull;
  ASSERT_EQ(S_OK, stream->CopyTo(memory.Get(), all, &read, &written));
  EXPECT_EQ(6u, read.QuadPart);
  EXPECT_EQ(6u, written.QuadPart);
}

}  // namespace
