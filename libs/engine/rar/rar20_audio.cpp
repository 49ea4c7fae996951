#include "engine/rar/rar20_audio.h"

#include <cstdlib>
#include <cstring>

namespace engine::rar {

uint8_t AudioPredictor::Decode(int delta, int* channel_delta) {
  ++count_;
  changes_[3] = changes_[2];
  changes_[2] = changes_[1];
  changes_[1] = last_change_ - changes_[0];
  changes_[0] = last_change_;

  // Weights are in eighths; the sum is floored (an arithmetic shift) before it wraps to a byte.
  int sum = 8 * last_byte_ + weights_[4] * *channel_delta;
  for (int i = 0; i < 4; ++i) sum += weights_[i] * changes_[i];
  const int prediction = (sum >> 3) & 0xFF;
  const int byte = (prediction - delta) & 0xFF;

  // The error as the weights see it: the signed delta in eighths. Stepping weight i by one
  // would have shifted the prediction by the matching change, so each step's error is that.
  const int error = static_cast<int8_t>(delta) * 8;
  errors_[0] += static_cast<uint32_t>(std::abs(error));
  for (int i = 0; i < 4; ++i) {
    errors_[1 + 2 * i] += static_cast<uint32_t>(std::abs(error - changes_[i]));
    errors_[2 + 2 * i] += static_cast<uint32_t>(std::abs(error + changes_[i]));
  }
  errors_[9] += static_cast<uint32_t>(std::abs(error - *channel_delta));
  errors_[10] += static_cast<uint32_t>(std::abs(error + *channel_delta));

  last_change_ = static_cast<int8_t>(byte - last_byte_);
  *channel_delta = last_change_;
  last_byte_ = byte;

  if ((count_ & 0x1F) == 0) {
    // The first smallest error wins; odd steps lower a weight, even ones raise it, and the
    // weights stay within -17 and 16.
    int best = 0;
    for (int i = 1; i < 11; ++i) {
      if (errors_[i] < errors_[best]) best = i;
    }
    std::memset(errors_, 0, sizeof errors_);
    if (best > 0) {
      int& weight = weights_[(best - 1) / 2];
      if (best % 2 == 1) {
        if (weight >= -16) --weight;
      } else if (weight < 16) {
        ++weight;
      }
    }
  }
  return static_cast<uint8_t>(byte);
}

}  // namespace engine::rar
