// The uncompressed stream of one folder of a single cabinet, stored or MSZIP, block by block.
// Each block's checksum is checked when it has one; a damaged block comes out as such, and
// the blocks after it still come out where their place in the stream can be trusted.
//
// A folder read again from an earlier point (files sharing data) restarts from the nearest
// block before that point that decodes without history, and from the start of the folder
// when there is none. Once a folder has been read again, the history is also kept every
// kCheckpointEvery blocks on the next passes, so that a cabinet whose files each go back a
// little costs a few megabytes of decoding per file, not the whole folder each time.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_STREAM_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/cab/cab_directory.h"
#include "engine/cab/cab_input.h"
#include "engine/cab/mszip_decoder.h"

namespace engine::cab {

struct FolderBlock {
  uint64_t start = 0;             // in the folder's uncompressed stream
  uint32_t size = 0;              // of its output
  const uint8_t* data = nullptr;  // its output, valid until the next call; null when damaged
};

class FolderStream {
 public:
  // `dir` is the directory of the cabinet at `base` in `input`; all three outlive the stream.
  FolderStream(CabInput* input, const CabinetDirectory& dir, uint64_t base);

  bool ready() const { return mszip_.ready(); }

  // Starts folder `folder` (stored or MSZIP) from its first block.
  void Start(size_t folder);
  size_t folder() const { return folder_; }
  // Where the block Next() gives next starts in the stream.
  uint64_t next_start() const { return start_; }

  // The next block; false when the folder has no more. That is after its last block, or
  // earlier where the file ends or the place of the next block in the stream is lost.
  bool Next(FolderBlock* block);

  // Goes back so that the blocks Next() gives next start at or before `offset`, which lies
  // before the end of the blocks given so far.
  void Rewind(uint64_t offset);

  const MszipDecoder& mszip() const { return mszip_; }
  // Blocks given so far, those read again included.
  uint64_t blocks_given() const { return blocks_given_; }

 private:
  // 64 blocks of 32 KiB: at most 1024 histories of 32 KiB for the largest folder.
  static constexpr size_t kCheckpointEvery = 64;

  struct Mark {
    uint64_t position;  // of the block's header in the file
    uint64_t start;     // of its output in the stream
    bool restart;       // the folder may be decoded again from this block on
    int32_t history;    // index in histories_ of the history before the block, or -1
  };

  void SeekBlock(size_t index);
  void KeepCheckpoint();
  const uint8_t* Decode(const uint8_t* data, size_t packed, size_t unpacked);

  CabInput* input_;
  const CabinetDirectory& dir_;
  uint64_t base_;
  MszipDecoder mszip_;

  std::vector<uint64_t> ends_;  // of each folder's stream, as far as its files reach

  size_t folder_ = 0;
  unsigned type_ = kTypeStored;
  std::vector<Mark> marks_;  // of the blocks seen so far, in order
  std::vector<std::vector<uint8_t>> histories_;
  bool rewound_ = false;  // this folder was read again: keep histories from now on
  uint64_t blocks_given_ = 0;
  size_t block_ = 0;  // the next one
  uint64_t position_ = 0;
  uint64_t start_ = 0;
  bool ended_ = false;
  // After a restart in the middle of the folder, the first 32 KiB have only part of their
  // history; a block that fails there sends the folder back to its start, once.
  bool partial_ = false;
  size_t partial_block_ = 0;
  uint64_t partial_from_ = 0;
  bool restarts_inside_ = true;
};

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_FOLDER_STREAM_H_
