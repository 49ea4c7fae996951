#include "engine/zip/decoder_test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

namespace decoder_test {

size_t StringInput::Read(uint8_t* buf, size_t size) {
  const size_t n = std::min({size, chunk_, data_.size() - pos_});
  std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

Decoded DecodeAll(engine::StreamDecoder* decoder, const std::string& packed, uint64_t unpacked_size,
                  size_t in_chunk, size_t out_chunk) {
  StringInput input(packed, in_chunk);
  decoder->Start(&input, unpacked_size);
  Decoded result;
  std::string buffer(out_chunk, '\0');
  for (;;) {
    const size_t n = decoder->Read(reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    if (n == 0) break;
    result.data.append(buffer, 0, n);
    // More than promised would be a decoder fault; stop rather than loop on it.
    if (result.data.size() > unpacked_size) break;
  }
  result.status = decoder->status();
  return result;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string CorpusPath(const std::string& relative) {
  return std::string(DIZOR_CORPUS_DIR) + "/" + relative;
}

bool HaveCorpus() {
  struct stat st;
  return stat(DIZOR_CORPUS_DIR, &st) == 0 && S_ISDIR(st.st_mode);
}

void CheckDamagedVariants(const DecoderFactory& make, const std::string& packed,
                          uint64_t unpacked_size, const std::string& expected) {
  std::unique_ptr<engine::StreamDecoder> decoder = make();
  auto check_answer = [&](const Decoded& d) {
    EXPECT_LE(d.data.size(), unpacked_size);
    if (d.status == engine::DecodeStatus::kOk) {
      EXPECT_EQ(d.data.size(), unpacked_size);
    }
  };

  // Cut short at (up to) 200 lengths spread over the data, every length for small samples.
  const size_t step = std::max<size_t>(1, packed.size() / 200);
  for (size_t cut = 0; cut < packed.size(); cut += step) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Decoded d = DecodeAll(decoder.get(), packed.substr(0, cut), unpacked_size, 7, 333);
    check_answer(d);
    // Only a cut through the final padding bits can leave the output whole.
    if (d.status == engine::DecodeStatus::kOk) {
      EXPECT_TRUE(d.data == expected);
    }
  }

  std::mt19937 random(12345);
  for (int i = 0; i < 150 && !packed.empty(); ++i) {
    std::string flipped = packed;
    const size_t at = random() % flipped.size();
    flipped[at] = static_cast<char>(flipped[at] ^ (1 + random() % 255));
    SCOPED_TRACE("byte " + std::to_string(at) + " changed");
    check_answer(DecodeAll(decoder.get(), flipped, unpacked_size));
  }

  for (int i = 0; i < 30; ++i) {
    std::string garbage(1 + random() % 4000, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    SCOPED_TRACE("garbage " + std::to_string(i));
    check_answer(DecodeAll(decoder.get(), garbage, unpacked_size));
  }
  // The same decoder still decodes the intact data after all of that.
  const Decoded d = DecodeAll(decoder.get(), packed, unpacked_size);
  EXPECT_EQ(d.status, engine::DecodeStatus::kOk);
  EXPECT_TRUE(d.data == expected) << "intact data decoded differently after damaged runs";
}

std::string MixedData(size_t size, uint32_t seed, size_t far) {
  static const char* const kWords[] = {"archive", "解凍", "the ", "data ", "window ",
                                       "match",   "\r\n", "LZH",  "zip ",  "code "};
  std::mt19937 random(seed);
  std::string out;
  out.reserve(size + 4096);
  while (out.size() < size) {
    switch (random() % 5) {
      case 0:
      case 1:
        for (int i = 0, n = 20 + static_cast<int>(random() % 200); i < n; ++i) {
          out += kWords[random() % std::size(kWords)];
        }
        break;
      case 2:
        for (int i = 0, n = 1 + static_cast<int>(random() % 600); i < n; ++i) {
          out.push_back(static_cast<char>(random()));
        }
        break;
      case 3:
        out.append(1 + random() % 300, static_cast<char>(random()));
        break;
      default:
        if (out.size() > 16) {
          const size_t back = 1 + random() % std::min(out.size() - 1, far);
          const size_t length = 3 + random() % 1200;
          // Byte by byte, so that overlapping copies repeat as an LZ decoder would.
          for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - back]);
        }
        break;
    }
  }
  out.resize(size);
  return out;
}

std::vector<LzToken> GreedyParse(const std::string& data, size_t window, size_t min_length,
                                 size_t max_length) {
  std::vector<LzToken> tokens;
  std::vector<int> head(1 << 16, -1), previous(data.size(), -1);
  auto key = [&](size_t i) {
    return static_cast<uint8_t>(data[i]) | static_cast<uint8_t>(data[i + 1]) << 8;
  };
  for (size_t i = 0; i < data.size();) {
    LzToken t;
    t.literal = static_cast<uint8_t>(data[i]);
    int candidate = i + 1 < data.size() ? head[key(i)] : -1;
    for (int tries = 0; candidate >= 0 && tries < 64; ++tries) {
      const size_t d = i - static_cast<size_t>(candidate);
      if (d > window) break;
      size_t n = 0;
      while (n < max_length && i + n < data.size() && data[i + n] == data[i + n - d]) ++n;
      if (n >= min_length && n > t.length) {
        t.length = n;
        t.distance = d;
      }
      candidate = previous[static_cast<size_t>(candidate)];
    }
    tokens.push_back(t);
    for (size_t k = 0; k < t.length; ++k, ++i) {
      if (i + 1 >= data.size()) continue;
      previous[i] = head[key(i)];
      head[key(i)] = static_cast<int>(i);
    }
  }
  return tokens;
}

void LsbBitWriter::Put(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    if (used_ == 8) {
      bytes_.push_back('\0');
      used_ = 0;
    }
    if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << used_));
    ++used_;
  }
}

void LsbBitWriter::PutCode(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Put((code >> i) & 1, 1);
}

void LsbBitWriter::AlignToByte() { used_ = 8; }

std::string LsbBitWriter::Finish() const { return bytes_; }

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

bool HaveProgram(const std::string& program) {
  return Run("command -v " + program + " >/dev/null 2>&1");
}

}  // namespace decoder_test
