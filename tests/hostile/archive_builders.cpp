#include "archive_builders.h"

#include <lha_decoder.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace hostile {
namespace {

constexpr uint32_t kUnixFile = 0100644;
constexpr uint32_t kUnixDir = 040755;
constexpr uint32_t kUnixLink = 0120777;
constexpr uint32_t kMtime = 1700000000;  // 2023-11-14, any fixed time will do
constexpr uint16_t kDosDate = 0x5A21;    // 2025-01-01
constexpr size_t kChunk = 32768;         // also the MSZIP frame size

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* out, uint64_t v) {
  Put16(out, static_cast<uint32_t>(v & 0xFFFF));
  Put16(out, static_cast<uint32_t>((v >> 16) & 0xFFFF));
}
void Set16(std::string* out, size_t at, uint32_t v) {
  (*out)[at] = static_cast<char>(v & 0xFF);
  (*out)[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

uint64_t SizeOf(const Member& m) {
  if (m.kind == Kind::kSymlink) return m.target.size();
  return m.repeated_zeros != 0 ? m.repeated_zeros : m.data.size();
}

uint32_t Crc32Of(const Member& m) {
  uLong crc = crc32(0L, Z_NULL, 0);
  if (m.repeated_zeros != 0) {
    const std::string zeros(kChunk, '\0');
    for (uint64_t left = m.repeated_zeros; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
      crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(n));
      left -= n;
    }
  } else {
    const std::string& bytes = m.kind == Kind::kSymlink ? m.target : m.data;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
  }
  return static_cast<uint32_t>(crc);
}

// Raw deflate (no zlib header) of `count` zero bytes, or of `bytes`, in one stream.
std::string Deflate(const std::string& bytes, uint64_t zeros) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out;
  const std::string zero_chunk(kChunk, '\0');
  char buffer[65536];
  uint64_t left = zeros != 0 ? zeros : bytes.size();
  size_t offset = 0;
  int flush = Z_NO_FLUSH;
  do {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    const char* in = zeros != 0 ? zero_chunk.data() : bytes.data() + offset;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z.avail_in = static_cast<uInt>(n);
    left -= n;
    offset += n;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      deflate(&z, flush);
      out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return out;
}

// ---- LHA ----

uint16_t Crc16(uint16_t crc, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    crc = static_cast<uint16_t>(crc ^ static_cast<uint8_t>(data[i]));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
  }
  return crc;
}

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      current_ = static_cast<uint8_t>((current_ << 1) | ((value >> i) & 1));
      if (++count_ == 8) {
        out_.push_back(static_cast<char>(current_));
        current_ = 0;
        count_ = 0;
      }
    }
  }
  std::string Finish() {
    while (count_ != 0) Put(0, 1);
    return out_;
  }

 private:
  std::string out_;
  uint8_t current_ = 0;
  int count_ = 0;
};

// An -lh5- stream in which every code is "copy 256 bytes from one byte back". Each of its
// three code tables holds a single symbol, which the format writes as a count of zero and
// the symbol, so a code takes no bits at all: a block of 65,535 codes is 7 bytes long and
// expands to 16 MB.
std::string Lh5Bomb(uint64_t count) {
  BitWriter bits;
  uint64_t codes = (count + 255) / 256;
  while (codes > 0) {
    const uint32_t block = static_cast<uint32_t>(std::min<uint64_t>(codes, 65535));
    bits.Put(block, 16);
    bits.Put(0, 5);    // temporary table: no lengths,
    bits.Put(0, 5);    // only symbol 0
    bits.Put(0, 9);    // literal/length table: no lengths,
    bits.Put(509, 9);  // only symbol 509 = a match of 256 bytes
    bits.Put(0, 4);    // position table: no lengths,
    bits.Put(0, 4);    // only position code 0 = one byte back
    codes -= block;
  }
  return bits.Finish();
}

struct StreamReader {
  const std::string* data;
  size_t offset;
};

size_t FeedDecoder(void* buf, size_t len, void* user) {
  auto* r = static_cast<StreamReader*>(user);
  const size_t n = std::min(len, r->data->size() - r->offset);
  std::copy_n(r->data->data() + r->offset, n, static_cast<char*>(buf));
  r->offset += n;
  return n;
}

// The CRC-16 of what liblhasa makes of `stream`: the first matches copy from the decoder's
// initial window, whose content is the decoder's choice.
uint16_t DecodedCrc(const std::string& stream, uint64_t count) {
  char method[] = "-lh5-";
  StreamReader reader{&stream, 0};
  LHADecoder* decoder = lha_decoder_new(lha_decoder_for_name(method), &FeedDecoder, &reader, count);
  if (decoder == nullptr) throw std::runtime_error("liblhasa has no lh5 decoder");
  uint8_t buffer[65536];
  uint64_t total = 0;
  while (total < count) {
    const size_t n = lha_decoder_read(decoder, buffer, sizeof buffer);
    if (n == 0) break;
    total += n;
  }
  const uint16_t crc = lha_decoder_get_crc(decoder);
  lha_decoder_free(decoder);
  if (total != count) throw std::runtime_error("liblhasa refuses the lh5 bomb");
  return crc;
}

void PutExtension(std::string* header, uint8_t type, const std::string& payload) {
  // Each extension is [type][payload][size of the next one]; its own size was written
  // before it, so patch the previous "next size" slot.
  Set16(header, header->size() - 2, static_cast<uint32_t>(1 + payload.size() + 2));
  header->push_back(static_cast<char>(type));
  header->append(payload);
  Put16(header, 0);
}

// ASCII (and NUL) as UTF-16LE; '/' becomes UNLHA32's folder separator 0xFFFF.
std::string Utf16Le(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    if (c == '/') {
      out += "\xFF\xFF";
    } else {
      out.push_back(c);
      out.push_back('\0');
    }
  }
  return out;
}

std::string LhaMember(const Member& m) {
  std::string name = m.name;
  std::string dir;
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) {
    dir = name.substr(0, slash + 1);
    name = name.substr(slash + 1);
    std::replace(dir.begin(), dir.end(), '/', '\xFF');
  }
  std::string method = "-lh0-";
  std::string data = m.data;
  uint32_t mode = kUnixFile;
  uint64_t original = data.size();
  uint16_t crc = Crc16(0, data.data(), data.size());
  if (m.kind == Kind::kDirectory) {
    method = "-lhd-";
    mode = kUnixDir;
  } else if (m.kind == Kind::kSymlink) {
    method = "-lhd-";
    mode = kUnixLink;
    name += "|" + m.target;
  } else if (m.repeated_zeros != 0) {
    method = "-lh5-";
    data = Lh5Bomb(m.repeated_zeros);
    original = m.repeated_zeros;
    crc = DecodedCrc(data, original);
  }
  std::string h;
  Put16(&h, 0);  // whole header size, set below
  h += method;
  Put32(&h, data.size());
  Put32(&h, original);
  Put32(&h, kMtime);
  h.push_back('\x20');
  h.push_back('\x02');  // level 2
  Put16(&h, crc);
  h.push_back('U');
  Put16(&h, 0);  // size of the first extension
  if (m.utf16_name) {
    PutExtension(&h, 0x01, "decoy.txt");
    PutExtension(&h, 0x44, Utf16Le(name));
    std::replace(dir.begin(), dir.end(), '\xFF', '/');
    if (!dir.empty()) PutExtension(&h, 0x45, Utf16Le(dir));
  } else {
    PutExtension(&h, 0x01, name);
    if (!dir.empty()) PutExtension(&h, 0x02, dir);
  }
  std::string mode_bytes;
  Put16(&mode_bytes, mode);
  PutExtension(&h, 0x50, mode_bytes);
  Set16(&h, 0, static_cast<uint32_t>(h.size()));
  return h + data;
}

// ---- CAB ----

// The folder's data: all members' contents one after another, handed out in frames.
class FolderStream {
 public:
  explicit FolderStream(const std::vector<Member>& members) : members_(members) {}
  // The next frame of at most kChunk bytes; empty at the end.
  std::string NextFrame() {
    std::string frame;
    while (frame.size() < kChunk && index_ < members_.size()) {
      const Member& m = members_[index_];
      const uint64_t size = SizeOf(m);
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>(size - offset_, kChunk - frame.size()));
      if (m.repeated_zeros != 0) {
        frame.append(n, '\0');
      } else {
        frame.append(m.data, static_cast<size_t>(offset_), n);
      }
      offset_ += n;
      if (offset_ == size) {
        ++index_;
        offset_ = 0;
      }
    }
    return frame;
  }

 private:
  const std::vector<Member>& members_;
  size_t index_ = 0;
  uint64_t offset_ = 0;
};

}  // namespace

std::string BuildZip(const std::vector<Member>& members) {
  std::string out;
  std::string central;
  for (const Member& m : members) {
    const bool deflated = m.repeated_zeros != 0;
    std::string stored = m.kind == Kind::kSymlink ? m.target : m.data;
    if (deflated) stored = Deflate("", m.repeated_zeros);
    std::string name = m.name;
    uint32_t mode = kUnixFile;
    if (m.kind == Kind::kDirectory) {
      mode = kUnixDir;
      if (name.empty() || name.back() != '/') name += '/';
    } else if (m.kind == Kind::kSymlink) {
      mode = kUnixLink;
    }
    const uint32_t crc = Crc32Of(m);
    const uint64_t size = SizeOf(m);
    const uint64_t offset = out.size();
    Put32(&out, 0x04034b50);
    Put16(&out, 20);
    Put16(&out, 0);
    Put16(&out, deflated ? 8 : 0);
    Put16(&out, 0);
    Put16(&out, kDosDate);
    Put32(&out, crc);
    Put32(&out, stored.size());
    Put32(&out, size);
    Put16(&out, static_cast<uint32_t>(name.size()));
    Put16(&out, 0);
    out += name;
    out += stored;

    Put32(&central, 0x02014b50);
    Put16(&central, 0x0314);  // made by Unix, so the external attributes hold the mode
    Put16(&central, 20);
    Put16(&central, 0);
    Put16(&central, deflated ? 8 : 0);
    Put16(&central, 0);
    Put16(&central, kDosDate);
    Put32(&central, crc);
    Put32(&central, stored.size());
    Put32(&central, size);
    Put16(&central, static_cast<uint32_t>(name.size()));
    Put16(&central, 0);
    Put16(&central, 0);
    Put16(&central, 0);
    Put16(&central, 0);
    Put32(&central, static_cast<uint64_t>(mode) << 16);
    Put32(&central, offset);
    central += name;
  }
  const uint64_t central_offset = out.size();
  out += central;
  Put32(&out, 0x06054b50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, static_cast<uint32_t>(members.size()));
  Put16(&out, static_cast<uint32_t>(members.size()));
  Put32(&out, central.size());
  Put32(&out, central_offset);
  Put16(&out, 0);
  return out;
}

std::string BuildLha(const std::vector<Member>& members) {
  std::string out;
  for (const Member& m : members) out += LhaMember(m);
  out.push_back('\0');  // end of archive
  return out;
}

std::string BuildCab(const std::vector<Member>& members) {
  bool mszip = false;
  for (const Member& m : members) {
    if (m.kind != Kind::kFile) throw std::invalid_argument("a cabinet holds only files");
    mszip = mszip || m.repeated_zeros != 0;
  }
  std::string files;
  uint64_t folder_offset = 0;
  for (const Member& m : members) {
    Put32(&files, SizeOf(m));
    Put32(&files, folder_offset);
    Put16(&files, 0);
    Put16(&files, kDosDate);
    Put16(&files, 0);
    Put16(&files, 0x20);
    files += m.name;
    files.push_back('\0');
    folder_offset += SizeOf(m);
  }
  std::string data;
  uint32_t blocks = 0;
  FolderStream stream(members);
  for (std::string frame = stream.NextFrame(); !frame.empty(); frame = stream.NextFrame()) {
    const std::string packed = mszip ? "CK" + Deflate(frame, 0) : frame;
    Put32(&data, 0);  // no checksum
    Put16(&data, static_cast<uint32_t>(packed.size()));
    Put16(&data, static_cast<uint32_t>(frame.size()));
    data += packed;
    ++blocks;
  }
  constexpr uint32_t kHeaderSize = 36;
  constexpr uint32_t kFolderSize = 8;
  const uint64_t files_offset = kHeaderSize + kFolderSize;
  const uint64_t data_offset = files_offset + files.size();
  std::string out;
  out += "MSCF";
  Put32(&out, 0);
  Put32(&out, data_offset + data.size());
  Put32(&out, 0);
  Put32(&out, files_offset);
  Put32(&out, 0);
  out.push_back('\x03');
  out.push_back('\x01');
  Put16(&out, 1);  // folders
  Put16(&out, static_cast<uint32_t>(members.size()));
  Put16(&out, 0);       // flags: no reserve, no set
  Put16(&out, 0x1234);  // set id
  Put16(&out, 0);
  Put32(&out, data_offset);
  Put16(&out, blocks);
  Put16(&out, mszip ? 1 : 0);
  return out + files + data;
}

}  // namespace hostile
