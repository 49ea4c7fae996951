#include "rar3_stream_writer.h"

namespace rar3_test {

void BitWriter::Put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (bits_ / 8 >= out_.size()) out_.push_back('\0');
    if ((value >> i) & 1)
      out_[bits_ / 8] = static_cast<char>(out_[bits_ / 8] | (0x80 >> (bits_ % 8)));
    ++bits_;
  }
}

void PutFilterNumber(BitWriter* out, uint32_t value) {
  if (value < 16) {
    out->Put(0, 2);
    out->Put(value, 4);
  } else if (value < 256) {
    out->Put(1, 2);  // values 16-255: their high four bits are never all zero
    out->Put(value, 8);
  } else if (value < 65536) {
    out->Put(2, 2);
    out->Put(value, 16);
  } else {
    out->Put(3, 2);
    out->Put(value, 32);
  }
}

void Rar3StreamWriter::Tables() {
  out_.AlignToByte();
  out_.Put(0, 1);  // LZ
  out_.Put(0, 1);  // lengths from zero, not changes to the previous ones
  // The code of the code lengths: lengths 5, 6 and 9 get two-bit codes 00, 01 and 10.
  for (int symbol = 0; symbol < 20; ++symbol) {
    out_.Put(symbol == 5 || symbol == 6 || symbol == 9 ? 2 : 0, 4);
  }
  for (int i = 0; i < 299; ++i) out_.Put(2, 2);      // main: 9 bits
  for (int i = 0; i < 60; ++i) out_.Put(1, 2);       // distance: 6 bits
  for (int i = 0; i < 17 + 28; ++i) out_.Put(0, 2);  // low distance, repeat: 5 bits
}

void Rar3StreamWriter::Literals(std::string_view bytes) {
  for (char c : bytes) Literal(static_cast<uint8_t>(c));
}

void Rar3StreamWriter::ShortMatch(uint32_t distance) {
  Symbol(263);  // the first short-distance slot: distances 1-4 in two extra bits
  out_.Put(distance - 1, 2);
}

void Rar3StreamWriter::FilterRecord(uint8_t flags, const std::string& record) {
  Symbol(257);
  const size_t size = record.size();
  if (size >= 1 && size <= 6) {
    out_.Put((flags & ~7u) | static_cast<uint32_t>(size - 1), 8);
  } else if (size >= 7 && size < 7 + 256) {
    out_.Put((flags & ~7u) | 6u, 8);
    out_.Put(static_cast<uint32_t>(size - 7), 8);
  } else {
    out_.Put((flags & ~7u) | 7u, 8);
    out_.Put(static_cast<uint32_t>(size), 16);
  }
  for (char c : record) out_.Put(static_cast<uint8_t>(c), 8);
}

void Rar3StreamWriter::EndOfFile(bool new_tables) {
  Symbol(256);
  out_.Put(0, 1);  // a new file follows
  out_.Put(new_tables ? 1 : 0, 1);
}

void Rar3StreamWriter::NewTables() {
  Symbol(256);
  out_.Put(1, 1);
}

std::string FilterRecordBody(uint32_t number, uint32_t length, const std::vector<uint8_t>& code) {
  BitWriter out;
  PutFilterNumber(&out, number);
  PutFilterNumber(&out, 0);  // the block starts where the record is decoded
  PutFilterNumber(&out, length);
  PutFilterNumber(&out, static_cast<uint32_t>(code.size()));
  for (uint8_t byte : code) out.Put(byte, 8);
  return out.bytes();
}

std::vector<uint8_t> WithCheckByte(std::vector<uint8_t> body) {
  uint8_t check = 0;
  for (uint8_t byte : body) check ^= byte;
  body.insert(body.begin(), check);
  return body;
}

}  // namespace rar3_test
