// A tiny ZIP writer for crafted test archives: stored entries, or deflated
// ones whose raw deflate bytes the test makes itself, every
// header field under the test's control (raw name bytes, flags, CRC, sizes,
// host system and external attributes), so cases that real zip tools refuse
// to make (bad CRC, "../" names, encrypted flag without encryption, symlink
// entries followed by files "through" them) can be written byte for byte.
// Test-only; one writer per archive, one thread.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace arcwise_test {

struct ZipEntrySpec {
  std::string name;  // raw name bytes as they go into the headers
  std::string data;  // stored bytes, or raw deflate bytes when method is 8
  uint16_t method = 0;
  uint16_t flags = 0;
  uint16_t madeBy = 20;  // low byte version, high byte host (0 MS-DOS, 3 Unix)
  uint32_t externalAttributes = 0;
  std::optional<uint32_t> crc;               // default: CRC-32 of data
  std::optional<uint32_t> uncompressedSize;  // default: data size
  std::string comment;
  std::string extra;  // extra fields, the same in the local and the central header
  // A central record only, pointing at the local header and data of the
  // entry with this index (as overlapping zip bombs are made); the entry's
  // own data, CRC and sizes are ignored.
  std::optional<size_t> sharesDataOf;
};

inline uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

class ZipWriter {
 public:
  ZipWriter& Add(const ZipEntrySpec& entry) {
    m_entries.push_back(entry);
    return *this;
  }
  ZipWriter& Add(const std::string& name, const std::string& data) {
    ZipEntrySpec entry;
    entry.name = name;
    entry.data = data;
    return Add(entry);
  }
  // A Unix symbolic link entry: mode 0120777, the data is the link text.
  ZipWriter& AddSymlink(const std::string& name, const std::string& target) {
    ZipEntrySpec entry;
    entry.name = name;
    entry.data = target;
    entry.madeBy = (3 << 8) | 30;
    entry.externalAttributes = 0120777u << 16;
    return Add(entry);
  }

  std::string Bytes() const {
    std::string out;
    std::string central;
    std::vector<uint32_t> offsets;
    for (const ZipEntrySpec& own : m_entries) {
      const ZipEntrySpec& e = own.sharesDataOf ? m_entries[*own.sharesDataOf] : own;
      const uint32_t crc = e.crc ? *e.crc : Crc32(e.data);
      const uint32_t size = static_cast<uint32_t>(e.data.size());
      const uint32_t usize = e.uncompressedSize ? *e.uncompressedSize : size;
      if (own.sharesDataOf) {
        AddCentral(central, own, crc, size, usize, offsets[*own.sharesDataOf]);
        offsets.push_back(offsets[*own.sharesDataOf]);
        continue;
      }
      const uint32_t offset = static_cast<uint32_t>(out.size());
      offsets.push_back(offset);
      Put32(out, 0x04034b50);
      Put16(out, 20);
      Put16(out, e.flags);
      Put16(out, e.method);
      Put16(out, 0);
      Put16(out, 0x21);  // 1980-01-01
      Put32(out, crc);
      Put32(out, size);
      Put32(out, usize);
      Put16(out, static_cast<uint16_t>(e.name.size()));
      Put16(out, static_cast<uint16_t>(e.extra.size()));
      out += e.name;
      out += e.extra;
      out += e.data;
      AddCentral(central, e, crc, size, usize, offset);
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(m_entries.size()));
    Put16(out, static_cast<uint16_t>(m_entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
  }

  bool WriteTo(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = Bytes();
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
  }

 private:
  static void AddCentral(std::string& central, const ZipEntrySpec& e, uint32_t crc, uint32_t size,
                         uint32_t usize, uint32_t offset) {
    Put32(central, 0x02014b50);
    Put16(central, e.madeBy);
    Put16(central, 20);
    Put16(central, e.flags);
    Put16(central, e.method);
    Put16(central, 0);
    Put16(central, 0x21);
    Put32(central, crc);
    Put32(central, size);
    Put32(central, usize);
    Put16(central, static_cast<uint16_t>(e.name.size()));
    Put16(central, static_cast<uint16_t>(e.extra.size()));
    Put16(central, static_cast<uint16_t>(e.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, e.externalAttributes);
    Put32(central, offset);
    central += e.name;
    central += e.extra;
    central += e.comment;
  }
  static void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
  }
  static void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
  }

  std::vector<ZipEntrySpec> m_entries;
};

}  // namespace arcwise_test
