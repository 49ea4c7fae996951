#include "engine/rar/rar15_codes.h"

#include <array>
#include <string_view>

namespace engine::rar::rar15 {
namespace {

constexpr int kFixedCodes = 7;
constexpr int kFixedLengths = 12;
// The codes are canonical, so each is given by how many codes it has of each length from 1 to
// 12 bits, in the order of FixedCode; symbols take the codes in order.
constexpr uint16_t kCodesPerLength[kFixedCodes][kFixedLengths] = {
    {0, 2, 1, 2, 2, 4, 5, 4, 4, 8, 0, 224},    {0, 0, 5, 2, 2, 4, 5, 4, 4, 8, 2, 220},
    {0, 0, 0, 8, 8, 8, 9, 0, 0, 0, 0, 224},    {0, 0, 0, 0, 4, 40, 16, 16, 4, 0, 47, 130},
    {0, 0, 0, 0, 2, 5, 46, 64, 116, 24, 0, 0}, {0, 0, 0, 0, 0, 2, 14, 202, 33, 6, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 255, 2, 0, 0, 0},
};

// The selector codes while the average selector is low and while it is high. In the stretched
// variant the code "101" gets a fourth bit "0", which frees "1011" for selector 14; unstretched,
// "1011" is never seen, as codes are tried in selector order.
constexpr const char* kShortCodes[2][15] = {
    {"0", "101", "1101", "1110", "11110", "111110", "1111110", "11111110", "11111111", "1100",
     "1000", "10010", "100110", "100111", "1011"},
    {"00", "010", "011", "101", "1101", "1110", "11110", "111110", "111111", "1100", "1000",
     "10010", "100110", "100111", "1011"},
};

}  // namespace

const HuffmanTable& Code(FixedCode code) {
  static const std::array<HuffmanTable, kFixedCodes> codes = [] {
    std::array<HuffmanTable, kFixedCodes> built;
    for (int c = 0; c < kFixedCodes; ++c) {
      uint8_t lengths[257];
      int symbols = 0;
      for (int len = 1; len <= kFixedLengths; ++len) {
        for (int k = 0; k < kCodesPerLength[c][len - 1]; ++k) {
          lengths[symbols++] = static_cast<uint8_t>(len);
        }
      }
      built[c].Build(lengths, symbols);
    }
    return built;
  }();
  return codes[static_cast<int>(code)];
}

const ShortLookup& ShortCodes() {
  static const ShortLookup lookup = [] {
    ShortLookup built{};
    for (int set = 0; set < 2; ++set) {
      for (int stretched = 0; stretched < 2; ++stretched) {
        bool taken[256] = {};
        for (int selector = 0; selector < 15; ++selector) {
          std::string_view code = kShortCodes[set][selector];
          if (stretched == 1 && code == "101") code = "1010";
          unsigned value = 0;
          for (char bit : code) value = value << 1 | (bit == '1' ? 1u : 0u);
          const unsigned shift = 8 - static_cast<unsigned>(code.size());
          for (unsigned low = 0; low < (1u << shift); ++low) {
            const unsigned slot = value << shift | low;
            if (taken[slot]) continue;
            taken[slot] = true;
            built.entry[set][stretched][slot] = static_cast<uint8_t>(selector << 4 | code.size());
          }
        }
      }
    }
    return built;
  }();
  return lookup;
}

}  // namespace engine::rar::rar15
