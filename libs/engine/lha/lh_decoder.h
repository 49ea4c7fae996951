// Our own decoder for the LHA methods nearly every archive uses: -lh0- (stored) and the
// static-Huffman LZSS methods -lh5- to -lh7-. liblhasa decodes them too, but spends a fifth
// of its time in a byte-at-a-time CRC and copies every byte twice (the measured difference is
// in lha_format.cpp). liblhasa stays the engine for every other method (lha_source.cpp).
#ifndef DIZOR_LIBS_ENGINE_LHA_LH_DECODER_H_
#define DIZOR_LIBS_ENGINE_LHA_LH_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine::lha {

// Supplies up to `size` compressed bytes; returns how many (0 at the end of the member).
using InputCallback = size_t (*)(void* buf, size_t size, void* context);

class LhDecoder {
 public:
  // Dictionary bits of a method we decode ("-lh5-" -> 13), 0 for "-lh0-", -1 for others.
  static int DictionaryBits(const std::string& method);

  // One decoder serves every member of an archive: its buffers are allocated once, since an
  // archive of 20,000 small files would otherwise spend more time in the allocator and in
  // page faults than in decoding.
  LhDecoder();
  ~LhDecoder();
  void Start(int dictionary_bits, InputCallback input, void* context, uint64_t output_size);
  LhDecoder(const LhDecoder&) = delete;
  LhDecoder& operator=(const LhDecoder&) = delete;

  // Decodes up to `size` bytes; 0 once the member's length is reached or the data is broken.
  size_t Read(uint8_t* out, size_t size);
  bool damaged() const { return damaged_; }
  uint64_t length() const { return delivered_; }
  uint16_t crc() const { return crc_; }

 private:
  struct Table;
  void Refill();
  uint32_t Peek(int bits) const { return static_cast<uint32_t>(bit_buffer_ >> (64 - bits)); }
  void Skip(int bits);
  uint32_t GetBits(int bits);
  bool ReadPtLengths(int count, int bits, int special);
  bool ReadCodeLengths();
  bool StartBlock();
  int Decode(const Table& t);
  void DecodeSome(uint64_t target);
  size_t ReadStored(uint8_t* out, size_t size);

  int dictionary_bits_ = 0;
  InputCallback input_ = nullptr;
  void* context_ = nullptr;
  uint64_t output_size_ = 0;

  std::unique_ptr<uint8_t[]> in_buffer_;
  size_t in_pos_ = 0, in_end_ = 0;
  bool input_done_ = false;
  size_t padding_ = 0;  // zero bytes fed past the end of the input
  uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;

  std::unique_ptr<Table> code_table_, pt_table_, position_table_;
  Table* pt_or_position_ = nullptr;  // the table ReadPtLengths() fills
  std::unique_ptr<uint8_t[]> ring_;
  uint64_t produced_ = 0, delivered_ = 0;
  uint32_t block_left_ = 0;
  int position_count_ = 0, position_bits_ = 0;
  uint16_t crc_ = 0;
  bool damaged_ = false;
};

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LH_DECODER_H_
