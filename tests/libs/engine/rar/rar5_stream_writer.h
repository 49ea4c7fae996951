// Test support for the RAR5 decompressor: writes RAR5 compressed data laid out as a
// compressor lays it out (blocks with headers and checksums, tables coded with the level
// table, symbols with their extra bits), but with codes the test chooses. Tests use it for
// what no sample archive holds (v7 distance slots, streams that wrap a tiny window) and for
// hostile streams that are valid up to one chosen fault.
#ifndef DIZOR_TESTS_LIBS_ENGINE_RAR_RAR5_STREAM_WRITER_H_
#define DIZOR_TESTS_LIBS_ENGINE_RAR_RAR5_STREAM_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rar5_test {

// Bits most significant first, as the decoder reads them.
class BitWriter {
 public:
  void Put(uint64_t value, int bits);
  size_t bit_count() const { return bits_; }
  const std::string& bytes() const { return out_; }  // the last byte padded with zeros

 private:
  std::string out_;
  size_t bits_ = 0;
};

class StreamWriter {
 public:
  // Code lengths of the four tables, used by every block started with tables. By default
  // each table gives all its symbols one length (main 9, distance 7, low distance 4, match
  // length 6). Lengths 10 to 14 cannot be used: the level table leaves them out.
  std::vector<uint8_t> main_lengths;
  std::vector<uint8_t> distance_lengths;
  std::vector<uint8_t> low_distance_lengths;
  std::vector<uint8_t> match_length_lengths;

  explicit StreamWriter(bool v7);

  void StartBlock(bool with_tables);
  // A block whose header announces tables that the test then writes itself with Raw().
  void StartBlockWithOwnTables();
  void Literal(uint8_t byte);
  void Literals(std::string_view bytes);
  // A new match of `length` bytes (what comes out, the decoder's bonus for long distances
  // already counted) at `distance`.
  void Match(uint32_t length, uint64_t distance);
  void Recent(int index, uint32_t length);  // a match at the index-th remembered distance
  void RepeatLast();
  // `start` counts from the position the filter symbol is decoded at.
  void Filter(uint32_t start, uint32_t length, int type, int channels = 1);
  void Raw(uint64_t value, int bits) { block_.Put(value, bits); }
  // Closes the block: its header, with the size and checksum, goes before its bits.
  // `short_by_bits`: the header understates the block's size by that many bits (all the
  // bits are still written).
  void EndBlock(bool last, int short_by_bits = 0);

  const std::string& data() const { return out_; }

 private:
  void Symbol(const std::vector<uint32_t>& codes, const std::vector<uint8_t>& lengths, int s);
  void WriteTables();
  void UseTables();
  static std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

  bool v7_;
  bool block_has_tables_ = false;
  BitWriter block_;
  std::string out_;
  std::vector<uint8_t> level_lengths_;
  std::vector<uint32_t> main_codes_, distance_codes_, low_codes_, length_codes_;
};

// The bytes an LZ decoder must produce for `length` bytes copied from `distance` back,
// appended to `out` one at a time (so that overlapping copies repeat).
void ReferenceCopy(std::string* out, uint32_t length, uint64_t distance);

}  // namespace rar5_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_RAR_RAR5_STREAM_WRITER_H_
