// The predictor of RAR 2.0's multimedia mode. Each byte of a channel is coded as its difference
// from a prediction: the channel's last byte plus weighted recent changes of that channel and
// the last change of any channel. The weights adapt: every 32 bytes the predictor works out
// which single weight step would have made the smallest errors, and takes it.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR20_AUDIO_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR20_AUDIO_H_

#include <cstdint>

namespace engine::rar {

class AudioPredictor {
 public:
  // The byte coded by `delta` (a symbol 0-255: prediction minus byte, modulo 256).
  // `channel_delta` is shared by all channels: the change of the byte decoded last.
  uint8_t Decode(int delta, int* channel_delta);

 private:
  int weights_[5] = {};  // for the four recent changes and the other channels' change
  int changes_[4] = {};  // the last change and its differences of first to third order
  int last_change_ = 0;
  int last_byte_ = 0;
  uint32_t errors_[11] = {};  // the error without a step, then with each of ten steps
  uint32_t count_ = 0;
};

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR20_AUDIO_H_
