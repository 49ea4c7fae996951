// The compression methods of LHA members and the decoder that reads each: one table, in
// lha_methods.cpp, with the reason for each choice.
#ifndef DIZOR_LIBS_ENGINE_LHA_LHA_METHODS_H_
#define DIZOR_LIBS_ENGINE_LHA_LHA_METHODS_H_

#include <string_view>

namespace engine::lha {

enum class MethodEngine {
  kNoData,     // -lhd-: a directory or symbolic link
  kLhDecoder,  // our LhDecoder (lh_decoder.h)
  kLh2,        // our -lh2- decoder (lh2_decoder.h)
  kLh3,        // our -lh3- decoder (lh3_decoder.h)
  kLhasa,      // liblhasa's decoder of that name
  kUnknown,    // nobody here decodes it
};

// The engine for a five-byte method id such as "-lh5-".
MethodEngine EngineForMethod(std::string_view method);

}  // namespace engine::lha

#endif  // DIZOR_LIBS_ENGINE_LHA_LHA_METHODS_H_
