#include "rar_test_members.h"

#include <zlib.h>

#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/byte_order.h"

namespace rar_test {
namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const uint8_t* U(const std::string& s, size_t pos) {
  return reinterpret_cast<const uint8_t*>(s.data()) + pos;
}

// RAR5 variable-length integer: 7 bits per byte, lowest first, high bit = more follows.
bool VInt(const std::string& s, size_t* pos, size_t end, uint64_t* value) {
  *value = 0;
  for (int shift = 0; shift < 64 && *pos < end; shift += 7) {
    const uint8_t b = static_cast<uint8_t>(s[(*pos)++]);
    *value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// Joins a piece to the member list: a piece that continues a file of the previous volume is
// appended to it.
void AddPiece(std::vector<Member>* out, Member piece, bool continues) {
  if (continues && !out->empty() && out->back().name == piece.name) {
    out->back().packed += piece.packed;
    // The last piece carries the checksum of the whole file.
    out->back().crc32 = piece.crc32;
    if (!piece.blake2sp.empty()) out->back().blake2sp = piece.blake2sp;
    return;
  }
  out->push_back(std::move(piece));
}

void ReadRar4(const std::string& s, size_t pos, std::vector<Member>* out) {
  while (pos + 7 <= s.size()) {
    const uint8_t type = static_cast<uint8_t>(s[pos + 2]);
    const uint16_t flags = engine::Le16(U(s, pos + 3));
    const uint16_t head_size = engine::Le16(U(s, pos + 5));
    if (head_size < 7 || pos + head_size > s.size()) return;
    uint64_t data_size = 0;
    if ((flags & 0x8000) != 0 && head_size >= 11) data_size = engine::Le32(U(s, pos + 7));
    if (type == 0x74 && head_size >= 32) {
      const size_t h = pos + 7;
      Member m;
      data_size = engine::Le32(U(s, h));
      m.unpacked_size = engine::Le32(U(s, h + 4));
      m.crc32 = engine::Le32(U(s, h + 9));
      m.unpack_version = static_cast<uint8_t>(s[h + 17]);
      m.method = static_cast<uint8_t>(s[h + 18]);
      const uint16_t name_size = engine::Le16(U(s, h + 19));
      size_t name_at = h + 25;
      if ((flags & 0x0100) != 0 && head_size >= 40) {
        data_size |= static_cast<uint64_t>(engine::Le32(U(s, h + 25))) << 32;
        m.unpacked_size |= static_cast<uint64_t>(engine::Le32(U(s, h + 29))) << 32;
        name_at += 8;
      }
      if (name_at + name_size <= pos + head_size) {
        m.name = s.substr(name_at, name_size);
        const size_t nul = m.name.find('\0');  // Unicode names: byte form, NUL, packed form
        if (nul != std::string::npos) m.name.resize(nul);
      }
      m.solid = (flags & 0x0010) != 0;
      m.encrypted = (flags & 0x0004) != 0;
      m.directory = (flags & 0x00E0) == 0x00E0;
      m.window_bytes = m.directory ? 0 : uint64_t{64 * 1024} << ((flags >> 5) & 7);
      const size_t data_at = pos + head_size;
      if (data_at + data_size > s.size()) data_size = s.size() - data_at;
      m.packed = s.substr(data_at, data_size);
      AddPiece(out, std::move(m), (flags & 0x0001) != 0);
    } else if (type == 0x7B) {
      return;  // end of archive
    }
    pos += head_size + data_size;
  }
}

void ReadRar5(const std::string& s, size_t pos, std::vector<Member>* out) {
  while (pos + 7 <= s.size()) {
    size_t p = pos + 4;
    uint64_t header_size = 0;
    if (!VInt(s, &p, s.size(), &header_size)) return;
    const size_t end = p + header_size;
    if (end > s.size()) return;
    uint64_t type = 0, flags = 0, extra_size = 0, data_size = 0;
    VInt(s, &p, end, &type);
    VInt(s, &p, end, &flags);
    if (flags & 1) VInt(s, &p, end, &extra_size);
    if (flags & 2) VInt(s, &p, end, &data_size);
    const size_t data_at = end;
    if (type == 2) {
      Member m;
      uint64_t file_flags = 0, unpacked = 0, attributes = 0, info = 0, host = 0, name_len = 0;
      VInt(s, &p, end, &file_flags);
      VInt(s, &p, end, &unpacked);
      VInt(s, &p, end, &attributes);
      if (file_flags & 2) p += 4;
      if (file_flags & 4) {
        m.crc32 = engine::Le32(U(s, p));
        p += 4;
      }
      VInt(s, &p, end, &info);
      VInt(s, &p, end, &host);
      VInt(s, &p, end, &name_len);
      m.name = s.substr(p, std::min<size_t>(name_len, end - p));
      p += name_len;
      m.directory = (file_flags & 1) != 0;
      m.unpacked_size = unpacked;
      m.unpack_version = (info & 0x3F) == 0 ? 50 : 70;
      m.solid = (info & 0x40) != 0;
      m.method = static_cast<int>((info >> 7) & 7);
      // v5: 128 KiB << bits 10-13; v7 adds bits 10-14 and a fraction in bits 15-19.
      const int bits = static_cast<int>((info >> 10) & (m.unpack_version == 50 ? 0x0F : 0x1F));
      m.window_bytes = uint64_t{128 * 1024} << bits;
      if (m.unpack_version == 70) m.window_bytes += (m.window_bytes / 32) * ((info >> 15) & 0x1F);
      // The extra area: file encryption (1) and the BLAKE2sp hash (2).
      size_t q = end - extra_size;
      while (q < end) {
        uint64_t rec_size = 0, rec_type = 0;
        if (!VInt(s, &q, end, &rec_size)) break;
        const size_t rec_end = q + rec_size;
        VInt(s, &q, rec_end, &rec_type);
        if (rec_type == 1) m.encrypted = true;
        if (rec_type == 2 && q + 1 + 32 <= rec_end && s[q] == 0) m.blake2sp = s.substr(q + 1, 32);
        q = rec_end;
      }
      if (data_at + data_size > s.size()) data_size = s.size() - data_at;
      m.packed = s.substr(data_at, data_size);
      AddPiece(out, std::move(m), (flags & 0x08) != 0);  // 0x08: continues the previous volume
    } else if (type == 5) {
      return;  // end of archive
    }
    pos = data_at + data_size;
  }
}

}  // namespace

std::vector<Member> ReadMembers(const std::vector<std::string>& volumes) {
  static const char kRar4[] = "Rar!\x1A\x07\x00";
  static const char kRar5[] = "Rar!\x1A\x07\x01\x00";
  std::vector<Member> out;
  for (const std::string& path : volumes) {
    const std::string s = ReadWholeFile(path);
    const size_t at5 = s.find(std::string(kRar5, 8));
    const size_t at4 = s.find(std::string(kRar4, 7));
    if (at5 != std::string::npos && (at4 == std::string::npos || at5 <= at4)) {
      ReadRar5(s, at5 + 8, &out);
    } else if (at4 != std::string::npos) {
      ReadRar4(s, at4 + 7, &out);
    }
  }
  return out;
}

std::string CorpusPath(const std::string& relative) {
  return std::string(DIZOR_CORPUS_DIR) + "/" + relative;
}

bool HaveCorpus() {
  struct stat st;
  return stat(DIZOR_CORPUS_DIR, &st) == 0 && S_ISDIR(st.st_mode);
}

size_t StringInput::Read(uint8_t* buf, size_t size) {
  const size_t n = std::min({size, chunk_, data_.size() - pos_});
  std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

std::string UnpackAll(engine::rar::Unpacker* unpacker, const Member& member, size_t out_chunk,
                      size_t in_chunk) {
  StringInput input(member.packed, in_chunk);
  unpacker->StartFile(&input, member.unpacked_size, member.solid);
  std::string out;
  std::string buf(out_chunk, '\0');
  for (;;) {
    const size_t n = unpacker->Read(reinterpret_cast<uint8_t*>(buf.data()), buf.size());
    if (n == 0) break;
    out.append(buf, 0, n);
  }
  return out;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

}  // namespace rar_test
