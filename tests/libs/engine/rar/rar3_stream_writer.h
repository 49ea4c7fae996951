// Test support for the RAR 2.9 decompressor: writes LZ data as the compressor lays it out
// (table headers, symbols, filter records, end-of-file marks) with one fixed set of codes,
// and PPMd block headers. Tests use it for streams no sample archive holds: a filter
// program that is not a standard one, a match reaching before the start, a file that ends
// early, the end-of-file mark's table bit in a solid stream.
#ifndef DIZOR_TESTS_LIBS_ENGINE_RAR_RAR3_STREAM_WRITER_H_
#define DIZOR_TESTS_LIBS_ENGINE_RAR_RAR3_STREAM_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rar3_test {

// Bits most significant first, as the decoder reads them.
class BitWriter {
 public:
  void Put(uint32_t value, int bits);
  void AlignToByte() { bits_ = (bits_ + 7) / 8 * 8; }
  // The bytes so far, the last one padded with zeros.
  const std::string& bytes() const { return out_; }

 private:
  std::string out_;
  size_t bits_ = 0;
};

// A number as filter records carry them: 4, 8, 16 or 32 bits after a two-bit size.
void PutFilterNumber(BitWriter* out, uint32_t value);

class Rar3StreamWriter {
 public:
  // A table header (byte aligned, as the decoder expects it) that gives every symbol of
  // each table one length: main 9 bits, distance 6, low distance and repeat length 5.
  void Tables();
  void Literal(uint8_t byte) { Symbol(byte); }
  void Literals(std::string_view bytes);
  // A two-byte match 1 to 4 bytes back.
  void ShortMatch(uint32_t distance);
  void RepeatLast() { Symbol(258); }
  // A filter record: `flags` and the record's bytes after them.
  void FilterRecord(uint8_t flags, const std::string& record);
  // End of the file's data; `new_tables`: the next file of a solid stream starts with
  // tables of its own.
  void EndOfFile(bool new_tables);
  // End of the block with new tables right after it (call Tables() next).
  void NewTables();
  void Raw(uint32_t value, int bits) { out_.Put(value, bits); }

  const std::string& data() const { return out_.bytes(); }

 private:
  void Symbol(int symbol) { out_.Put(static_cast<uint32_t>(symbol), 9); }

  BitWriter out_;
};

// A filter record for program `number` (1 = the first one; it is new, so `code` follows)
// over `length` bytes starting where the record is decoded.
std::string FilterRecordBody(uint32_t number, uint32_t length, const std::vector<uint8_t>& code);

// A program's check byte: the XOR of the bytes after it, as the stream requires.
std::vector<uint8_t> WithCheckByte(std::vector<uint8_t> body);

}  // namespace rar3_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_RAR_RAR3_STREAM_WRITER_H_
