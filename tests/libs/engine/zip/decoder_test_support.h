// What the tests of every StreamDecoder share: feeding packed bytes in pieces of a chosen
// size, reading the output in pieces of another, CRC-32, the corpus folder, and the damaged
// variants (cut short, bytes flipped, garbage) that each decoder must survive.
#ifndef DIZOR_TESTS_LIBS_ENGINE_ZIP_DECODER_TEST_SUPPORT_H_
#define DIZOR_TESTS_LIBS_ENGINE_ZIP_DECODER_TEST_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/stream_decoder.h"

namespace decoder_test {

// A ByteInput over a string, handing out at most `chunk` bytes per call.
class StringInput : public engine::ByteInput {
 public:
  explicit StringInput(const std::string& data, size_t chunk = 1 << 16)
      : data_(data), chunk_(chunk) {}
  size_t Read(uint8_t* buf, size_t size) override;

 private:
  const std::string& data_;
  size_t chunk_;
  size_t pos_ = 0;
};

struct Decoded {
  std::string data;
  engine::DecodeStatus status = engine::DecodeStatus::kOk;
};

// Runs `decoder` over `packed` until it stops giving bytes.
Decoded DecodeAll(engine::StreamDecoder* decoder, const std::string& packed, uint64_t unpacked_size,
                  size_t in_chunk = 1 << 16, size_t out_chunk = 1 << 16);

uint32_t Crc32(const std::string& data);

// The corpus folder (DIZOR_CORPUS_DIR), and whether it exists: tests skip without it.
std::string CorpusPath(const std::string& relative);
bool HaveCorpus();

using DecoderFactory = std::function<std::unique_ptr<engine::StreamDecoder>()>;

// Decodes damaged copies of `packed` (cut at many lengths, single bytes flipped, random
// garbage) and checks that each run stops with a clean answer: a decoder that says kOk must
// have delivered the whole entry, and a cut-short copy must be reported damaged unless what
// it lost was padding. A crash, hang or leak shows up as the test dying or timing out (and
// under the sanitizers).
void CheckDamagedVariants(const DecoderFactory& make, const std::string& packed,
                          uint64_t unpacked_size, const std::string& expected);

// Deterministic test data of `size` bytes that exercises an LZ coder: text made of words,
// random bytes, runs of one byte, and copies of earlier data from up to `far` bytes back.
std::string MixedData(size_t size, uint32_t seed, size_t far = 60000);

// One step of an LZ77 parse: a literal byte (distance 0) or a copy of `length` bytes from
// `distance` back.
struct LzToken {
  size_t distance = 0;
  size_t length = 1;
  uint8_t literal = 0;
};

// A greedy parse of `data` for the test-only encoders, searching chains of earlier
// positions with the same first two bytes.
std::vector<LzToken> GreedyParse(const std::string& data, size_t window, size_t min_length,
                                 size_t max_length);

// Writes a bit stream least significant bit first, as the ZIP methods read it.
class LsbBitWriter {
 public:
  // The low `count` bits of `value`, lowest first.
  void Put(uint32_t value, int count);
  // A prefix code of `length` bits, its most significant bit first.
  void PutCode(uint32_t code, int length);
  void AlignToByte();
  // The bytes so far, the last one padded with zero bits.
  std::string Finish() const;

 private:
  std::string bytes_;
  int used_ = 8;  // bits used in the last byte
};

// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);
// True when `program` is found on PATH.
bool HaveProgram(const std::string& program);

}  // namespace decoder_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_ZIP_DECODER_TEST_SUPPORT_H_
