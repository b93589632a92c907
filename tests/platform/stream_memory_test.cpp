// SHCreateMemStream: a private copy of the bytes it is given, growth on
// writes past the end, reads at the end, Stat without a name, and clones
// that share the bytes but not the seek pointer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compat/ComPtr.h"
#include <shlwapi.h>

#include "support/stream_util.h"

namespace {

using arcwise_test::Position;
using arcwise_test::SeekTo;

std::string ReadAll(IStream* stream) {
  EXPECT_EQ(S_OK, SeekTo(stream, 0, STREAM_SEEK_SET));
  std::string all;
  char buffer[7];  // small on purpose: many reads
  for (;;) {
    ULONG got = 0;
    EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
    if (got == 0) break;
    all.append(buffer, got);
  }
  return all;
}

TEST(StreamMemory, StartsWithAPrivateCopy) {
  char source[] = "initial bytes";
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(source), 13));
  ASSERT_TRUE(stream);
  source[0] = 'X';  // the stream must not see this
  EXPECT_EQ("initial bytes", ReadAll(stream.Get()));

  ComPtr<IStream> empty;
  empty.Attach(SHCreateMemStream(nullptr, 0));
  ASSERT_TRUE(empty);
  STATSTG stat;
  ASSERT_EQ(S_OK, empty->Stat(&stat, STATFLAG_DEFAULT));
  EXPECT_EQ(0u, stat.cbSize.QuadPart);
}

TEST(StreamMemory, GrowsAsItIsWrittenAndZeroFillsGaps) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(nullptr, 0));
  ASSERT_TRUE(stream);
  std::vector<BYTE> block(4096);
  for (size_t i = 0; i < block.size(); ++i) block[i] = BYTE(i * 7);
  for (int i = 0; i < 300; ++i) {  // about 1.2 MiB through many reallocations
    ULONG put = 0;
    ASSERT_EQ(S_OK, stream->Write(block.data(), ULONG(block.size()), &put));
    ASSERT_EQ(block.size(), put);
  }
  STATSTG stat;
  ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(300u * 4096u, stat.cbSize.QuadPart);

  // The last block reads back intact.
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), -4096, STREAM_SEEK_END));
  std::vector<BYTE> back(4096);
  ULONG got = 0;
  ASSERT_EQ(S_OK, stream->Read(back.data(), 4096, &got));
  EXPECT_EQ(4096u, got);
  EXPECT_EQ(block, back);

  // A write after seeking past the end leaves zeros in between.
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 10, STREAM_SEEK_END));
  ASSERT_EQ(S_OK, stream->Write("Z", 1, nullptr));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), -11, STREAM_SEEK_END));
  BYTE tail[11];
  ASSERT_EQ(S_OK, stream->Read(tail, 11, &got));
  ASSERT_EQ(11u, got);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(0, tail[i]);
  EXPECT_EQ('Z', tail[10]);
}

TEST(StreamMemory, ReadsAtAndPastTheEndGiveNothing) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("abcdef"), 6));
  char buffer[16];
  ULONG got = 99;
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 4, STREAM_SEEK_SET));
  ASSERT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(2u, got);
  EXPECT_EQ(0, std::memcmp(buffer, "ef", 2));
  got = 99;
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);

  ULARGE_INTEGER where;
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 100, STREAM_SEEK_CUR, &where));
  EXPECT_EQ(106u, where.QuadPart);
  got = 99;
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);

  // Before the start is refused and leaves the pointer where it was.
  EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(stream.Get(), -107, STREAM_SEEK_CUR));
  EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(stream.Get(), 0, 3));
  EXPECT_EQ(106u, Position(stream.Get()));
  EXPECT_EQ(STG_E_INVALIDPOINTER, stream->Read(nullptr, 1, &got));
}

TEST(StreamMemory, SetSizeTruncatesAndExtends) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("abcdef"), 6));
  ULARGE_INTEGER size;
  size.QuadPart = 3;
  ASSERT_EQ(S_OK, stream->SetSize(size));
  EXPECT_EQ("abc", ReadAll(stream.Get()));
  size.QuadPart = 5;
  ASSERT_EQ(S_OK, stream->SetSize(size));
  EXPECT_EQ(std::string("abc\0\0", 5), ReadAll(stream.Get()));
}

TEST(StreamMemory, StatHasNoName) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("abc"), 3));
  for (DWORD flag : {DWORD(STATFLAG_DEFAULT), DWORD(STATFLAG_NONAME)}) {
    STATSTG stat;
    std::memset(&stat, 0xAB, sizeof stat);
    ASSERT_EQ(S_OK, stream->Stat(&stat, flag));
    EXPECT_EQ(nullptr, stat.pwcsName);
    EXPECT_EQ(DWORD(STGTY_STREAM), stat.type);
    EXPECT_EQ(3u, stat.cbSize.QuadPart);
    EXPECT_EQ(DWORD(STGM_READWRITE), stat.grfMode);
  }
  EXPECT_EQ(STG_E_INVALIDPOINTER, stream->Stat(nullptr, STATFLAG_DEFAULT));
}

TEST(StreamMemory, ClonesShareBytesNotPosition) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("0123456789"), 10));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 4, STREAM_SEEK_SET));
  ComPtr<IStream> clone;
  ASSERT_EQ(S_OK, stream->Clone(&clone));
  EXPECT_EQ(4u, Position(clone.Get()));  // starts where the original was
  ASSERT_EQ(S_OK, clone->Write("ab", 2, nullptr));
  EXPECT_EQ(4u, Position(stream.Get()));
  char buffer[2];
  ULONG got = 0;
  ASSERT_EQ(S_OK, stream->Read(buffer, 2, &got));
  EXPECT_EQ(0, std::memcmp(buffer, "ab", 2));
  stream.Reset();  // the bytes live as long as any clone
  EXPECT_EQ("0123ab6789", ReadAll(clone.Get()));
}

TEST(StreamMemory, InterfacesAndCopyTo) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("copy me please"), 14));
  ComPtr<ISequentialStream> sequential;
  ASSERT_EQ(S_OK, stream.As(&sequential));
  ComPtr<IUnknown> a, b;
  ASSERT_EQ(S_OK, stream.As(&a));
  ASSERT_EQ(S_OK, sequential.As(&b));
  EXPECT_EQ(a.Get(), b.Get()) << "one identity";
  ComPtr<IPersistStream> persist;
  EXPECT_EQ(E_NOINTERFACE, stream.As(&persist));

  ComPtr<IStream> target;
  target.Attach(SHCreateMemStream(nullptr, 0));
  ASSERT_EQ(S_OK, SeekTo(stream.Get(), 5, STREAM_SEEK_SET));
  ULARGE_INTEGER want, read, written;
  want.QuadPart = 1000;
  ASSERT_EQ(S_OK, stream->CopyTo(target.Get(), want, &read, &written));
  EXPECT_EQ(9u, read.QuadPart);
  EXPECT_EQ(9u, written.QuadPart);
  EXPECT_EQ("me please", ReadAll(target.Get()));
}

}  // namespace
