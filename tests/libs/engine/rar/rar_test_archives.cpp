#include "rar_test_archives.h"

#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <nettle/sha2.h>
#include <zlib.h>

#include <algorithm>
#include <array>

#include "engine/byte_order.h"
#include "engine/rar/rar_crypto.h"

namespace rar_test {
namespace {

constexpr char kRar5Marker[] = "Rar!\x1A\x07\x01\x00";

std::string Vint(uint64_t v) {
  std::string out;
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v != 0) b |= 0x80;
    out.push_back(static_cast<char>(b));
  } while (v != 0);
  return out;
}

// `v` in exactly `n` bytes (readers take the continuation bits, so zeros may pad it).
bool VintOfLength(uint64_t v, size_t n, std::string* out) {
  out->clear();
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = (v >> (7 * i)) & 0x7F;
    if (i + 1 < n) b |= 0x80;
    out->push_back(static_cast<char>(b));
  }
  return n >= 10 || (v >> (7 * n)) == 0;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// CRC32, then the size of the header, then the header.
std::string Rar5Block(const std::string& body) {
  const std::string sized = Vint(body.size()) + body;
  std::string block;
  engine::PutLe(&block, Crc(sized), 4);
  return block + sized;
}

void Aes256Encrypt(const void* ctx, size_t size, uint8_t* dst, const uint8_t* src) {
  aes256_encrypt(static_cast<const aes256_ctx*>(ctx), size, dst, src);
}

bool ReadVint(const std::string& s, size_t* pos, uint64_t* v, size_t* length) {
  *v = 0;
  const size_t start = *pos;
  for (int shift = 0; *pos < s.size() && shift < 64; shift += 7) {
    const uint8_t b = static_cast<uint8_t>(s[(*pos)++]);
    *v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) {
      if (length != nullptr) *length = *pos - start;
      return true;
    }
  }
  return false;
}

struct HeaderPlace {
  size_t start = 0;  // the CRC
  size_t body = 0;   // after the size
  size_t end = 0;
  size_t flags_pos = 0, flags_len = 0;
  size_t compression_pos = 0, compression_len = 0;
  uint64_t file_flags = 0, compression = 0;
};

bool FindFileHeader(const std::string& s, const std::string& name, HeaderPlace* place) {
  size_t pos = 8;
  while (pos + 5 < s.size()) {
    size_t p = pos + 4;
    uint64_t size = 0, type = 0, flags = 0, extra = 0, data = 0, skip = 0;
    if (!ReadVint(s, &p, &size, nullptr)) return false;
    const size_t body = p;
    const size_t end = body + size;
    if (end > s.size() || !ReadVint(s, &p, &type, nullptr) || !ReadVint(s, &p, &flags, nullptr)) {
      return false;
    }
    if ((flags & 1) && !ReadVint(s, &p, &extra, nullptr)) return false;
    if ((flags & 2) && !ReadVint(s, &p, &data, nullptr)) return false;
    if (type == 2) {
      HeaderPlace h{pos, body, end};
      h.flags_pos = p;
      ReadVint(s, &p, &h.file_flags, &h.flags_len);
      ReadVint(s, &p, &skip, nullptr);  // unpacked size
      ReadVint(s, &p, &skip, nullptr);  // attributes
      if (h.file_flags & 2) p += 4;
      if (h.file_flags & 4) p += 4;
      h.compression_pos = p;
      ReadVint(s, &p, &h.compression, &h.compression_len);
      uint64_t name_size = 0;
      ReadVint(s, &p, &skip, nullptr);  // host
      ReadVint(s, &p, &name_size, nullptr);
      if (p + name_size <= end && s.compare(p, name_size, name) == 0) {
        *place = h;
        return true;
      }
    }
    pos = end + static_cast<size_t>(data);
  }
  return false;
}

}  // namespace

std::string Rar5Vint(uint64_t value) { return Vint(value); }
std::string Rar5Header(const std::string& body) { return Rar5Block(body); }

std::string Rar4Header(uint8_t type, uint16_t flags, const std::string& fields) {
  std::string header(2, '\0');
  header.push_back(static_cast<char>(type));
  engine::PutLe(&header, flags, 2);
  engine::PutLe(&header, 7 + fields.size(), 2);
  header += fields;
  const uint32_t crc = Crc(header.substr(2)) & 0xFFFF;
  header[0] = static_cast<char>(crc & 0xFF);
  header[1] = static_cast<char>(crc >> 8);
  return header;
}

std::string BuildRar5(const std::vector<Rar5File>& files) {
  std::string out(kRar5Marker, 8);
  out += Rar5Block(Vint(1) + Vint(0) + Vint(0));
  for (const Rar5File& f : files) {
    std::string extra;
    if (f.redirect != 0) {
      const std::string record =
          Vint(5) + Vint(f.redirect) + Vint(0) + Vint(f.target.size()) + f.target;
      extra = Vint(record.size()) + record;
    }
    const uint64_t block_flags = 0x02 | (extra.empty() ? 0 : 0x01);
    const std::string& stored = f.packed.empty() ? f.data : f.packed;
    std::string body = Vint(2) + Vint(block_flags);
    if (!extra.empty()) body += Vint(extra.size());
    body += Vint(stored.size());
    body += Vint((f.directory ? 0x01 : 0) | (f.store_crc ? 0x04 : 0));
    body += Vint(f.data.size()) + Vint(f.attributes);
    if (f.store_crc) engine::PutLe(&body, Crc(f.data), 4);
    body += Vint(f.packed.empty() ? 0 : f.compression) + Vint(f.host) + Vint(f.name.size()) +
            f.name + extra;
    out += Rar5Block(body) + stored;
  }
  out += Rar5Block(Vint(5) + Vint(0) + Vint(0));
  return out;
}

std::string BuildEncryptedRar5(const std::string& name, const std::string& data,
                               const std::string& password, int lg2_count, bool check, bool mac) {
  std::array<uint8_t, 16> salt;
  std::array<uint8_t, 16> iv;
  for (size_t i = 0; i < 16; ++i) {
    salt[i] = static_cast<uint8_t>(i * 7 + 1);
    iv[i] = static_cast<uint8_t>(i * 13 + 5);
  }
  engine::rar::Rar5Key key;
  engine::rar::DeriveRar5Key(password, salt, lg2_count, &key);
  std::string packed = data;
  packed.resize((data.size() + 15) & ~size_t{15}, '\0');
  aes256_ctx aes;
  aes256_set_encrypt_key(&aes, key.key.data());
  uint8_t chain[16];
  std::copy(iv.begin(), iv.end(), chain);
  auto* bytes = reinterpret_cast<uint8_t*>(packed.data());
  cbc_encrypt(&aes, &Aes256Encrypt, 16, chain, packed.size(), bytes, bytes);
  std::string fields = Vint(0) + Vint((check ? 0x01 : 0) | (mac ? 0x02 : 0));
  fields.push_back(static_cast<char>(lg2_count));
  fields.append(salt.begin(), salt.end());
  fields.append(iv.begin(), iv.end());
  if (check) {
    fields.append(key.check.begin(), key.check.end());
    sha256_ctx sha;
    sha256_init(&sha);
    sha256_update(&sha, key.check.size(), key.check.data());
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&sha, sizeof(digest), digest);
    fields.append(reinterpret_cast<const char*>(digest), 4);
  }
  const std::string record = Vint(1) + fields;
  const std::string extra = Vint(record.size()) + record;
  const uint32_t crc = mac ? engine::rar::Rar5CrcMac(Crc(data), key.hash_key) : Crc(data);
  std::string body = Vint(2) + Vint(0x03) + Vint(extra.size()) + Vint(packed.size());
  body += Vint(0x04) + Vint(data.size()) + Vint(0100644);
  engine::PutLe(&body, crc, 4);
  body += Vint(0) + Vint(1) + Vint(name.size()) + name + extra;
  std::string out(kRar5Marker, 8);
  out += Rar5Block(Vint(1) + Vint(0) + Vint(0));
  out += Rar5Block(body) + packed;
  return out + Rar5Block(Vint(5) + Vint(0) + Vint(0));
}

std::string BuildRar14(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out = "RE~^";
  engine::PutLe(&out, 7, 2);
  out.push_back(0);
  for (const auto& [name, data] : files) {
    uint32_t sum = 0;  // add each byte, then rotate the 16 bits left by one
    for (char c : data) {
      sum = (sum + static_cast<uint8_t>(c)) & 0xFFFF;
      sum = ((sum << 1) | (sum >> 15)) & 0xFFFF;
    }
    engine::PutLe(&out, data.size(), 4);
    engine::PutLe(&out, data.size(), 4);
    engine::PutLe(&out, sum, 2);
    engine::PutLe(&out, 21 + name.size(), 2);
    engine::PutLe(&out, (44u << 25) | (3u << 21) | (15u << 16) | (12u << 11), 4);  // 2024-03-15
    out.push_back(0x20);  // archive attribute
    out.push_back(0);     // flags
    out.push_back(2);     // version: RAR 1.3
    out.push_back(static_cast<char>(name.size()));
    out.push_back(0);  // stored
    out += name + data;
  }
  return out;
}

bool ReadRar5FileHeader(const std::string& archive, const std::string& name, uint64_t* compression,
                        uint64_t* file_flags) {
  HeaderPlace h;
  if (!FindFileHeader(archive, name, &h)) return false;
  *compression = h.compression;
  *file_flags = h.file_flags;
  return true;
}

bool PatchRar5FileHeader(std::string* archive, const std::string& name, uint64_t compression,
                         uint64_t file_flags) {
  HeaderPlace h;
  std::string flags, info;
  if (!FindFileHeader(*archive, name, &h) || !VintOfLength(file_flags, h.flags_len, &flags) ||
      !VintOfLength(compression, h.compression_len, &info)) {
    return false;
  }
  archive->replace(h.flags_pos, flags.size(), flags);
  archive->replace(h.compression_pos, info.size(), info);
  std::string crc;
  engine::PutLe(&crc, Crc(archive->substr(h.start + 4, h.end - h.start - 4)), 4);
  archive->replace(h.start, 4, crc);
  return true;
}

}  // namespace rar_test
