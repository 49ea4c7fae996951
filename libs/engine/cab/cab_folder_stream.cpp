#include "engine/cab/cab_folder_stream.h"

#include <algorithm>

#include "engine/byte_order.h"
#include "engine/cab/cab_checksum.h"

namespace engine::cab {

FolderStream::FolderStream(CabInput* input, const CabinetDirectory& dir, uint64_t base)
    : input_(input), dir_(dir), base_(base), ends_(dir.folders.size(), 0) {
  for (const CabFile& f : dir.files) {
    if (f.folder < ends_.size()) {
      ends_[f.folder] = std::max<uint64_t>(ends_[f.folder], uint64_t{f.folder_offset} + f.size);
    }
  }
}

void FolderStream::Start(size_t folder) {
  folder_ = folder;
  type_ = dir_.folders[folder].type & 0x0F;
  marks_.clear();
  marks_.push_back({base_ + dir_.folders[folder].data_offset, 0, true, -1});
  histories_.clear();
  rewound_ = false;
  restarts_inside_ = true;
  SeekBlock(0);
}

void FolderStream::SeekBlock(size_t index) {
  block_ = index;
  position_ = marks_[index].position;
  start_ = marks_[index].start;
  ended_ = false;
  const int32_t kept = marks_[index].history;
  if (kept >= 0) {
    mszip_.SetHistory(histories_[kept].data(), histories_[kept].size());
  } else {
    mszip_.Reset();
  }
  partial_ = index > 0 && type_ == kTypeMszip && kept < 0;
  partial_block_ = index;
  partial_from_ = start_;
}

void FolderStream::Rewind(uint64_t offset) {
  auto after = std::upper_bound(marks_.begin(), marks_.end(), offset,
                                [](uint64_t o, const Mark& m) { return o < m.start; });
  size_t index = after == marks_.begin() ? 0 : static_cast<size_t>(after - marks_.begin()) - 1;
  while (index > 0 && !(restarts_inside_ && marks_[index].restart) && marks_[index].history < 0) {
    --index;
  }
  rewound_ = true;
  SeekBlock(index);
}

bool FolderStream::Next(FolderBlock* block) {
  if (ended_ || block_ >= dir_.folders[folder_].blocks) return false;
  if (rewound_ && type_ == kTypeMszip && block_ % kCheckpointEvery == 0 && block_ > 0 &&
      block_ < marks_.size() && marks_[block_].history < 0 && !marks_[block_].restart &&
      !(partial_ && start_ - partial_from_ < MszipDecoder::kHistory)) {
    KeepCheckpoint();
  }
  const size_t head = kDataHeaderSize + dir_.data_reserve;
  size_t got = 0;
  const uint8_t* p = input_->Get(position_, head, &got);
  if (got < head) {
    ended_ = true;
    return false;
  }
  const size_t packed = Le16(p + 4);
  const size_t unpacked = Le16(p + 6);
  p = input_->Get(position_, head + packed, &got);
  *block = FolderBlock{start_, static_cast<uint32_t>(unpacked), nullptr};
  ++blocks_given_;
  if (got < head + packed) {
    // The file ends inside the block, which is damaged: the files that reach its end fail,
    // and so does the rest of the folder, which cannot be placed. Where the block has a
    // checksum, none of its bytes can be checked and none comes out. Without one it still
    // gives its start as every reader gives it, so that the files wholly before the cut come
    // out; but never its last byte, even where its bytes inflate to all of it (a deflate
    // stream gives its whole output without the end of the stream): the block did not end.
    ended_ = true;
    if (Le32(p) == 0 && unpacked > 0) {
      const size_t have = got - std::min(got, head);
      size_t produced = 0;
      if (type_ == kTypeStored) {
        produced = std::min(have, unpacked);
        block->data = p + head;
      } else if (type_ == kTypeMszip) {
        block->data = mszip_.DecodeCut(p + head, have, unpacked, &produced);
      }
      produced = std::min(produced, unpacked - 1);
      if (produced == 0) block->data = nullptr;
      if (block->data != nullptr) block->size = static_cast<uint32_t>(produced);
    }
    mszip_.Lose();
    return true;
  }
  const bool checked = BlockChecksumMatches(p, dir_.data_reserve, packed);
  if (checked) block->data = Decode(p + head, packed, unpacked);
  if (block->data == nullptr) {
    if (partial_ && block_ > partial_block_ && start_ - partial_from_ < MszipDecoder::kHistory) {
      // Perhaps only the history before the restart was missing: once more from the start.
      restarts_inside_ = false;
      SeekBlock(0);
      return Next(block);
    }
    mszip_.Lose();
    // Sizes a checksum vouches for still place the next block; others only when they are
    // what every maker writes, a full block or the exact end of the folder's files. A wrong
    // guess would hand the next files data from the wrong place.
    const bool placed = (checked && Le32(p) != 0) || unpacked == MszipDecoder::kMaxBlock ||
                        start_ + unpacked == ends_[folder_];
    if (!placed) {
      ended_ = true;
      return true;
    }
  }
  if (block_ + 1 == marks_.size()) {
    // A block that needed no history is a place to restart from; so is a damaged one, after
    // which there is no history either.
    marks_[block_].restart = marks_[block_].restart || type_ == kTypeStored ||
                             block->data == nullptr || mszip_.last_stood_alone();
    marks_.push_back({position_ + head + packed, start_ + unpacked, false, -1});
  }
  ++block_;
  position_ += head + packed;
  start_ += unpacked;
  return true;
}

void FolderStream::KeepCheckpoint() {
  const uint8_t* history = nullptr;
  const size_t size = mszip_.history(&history);
  marks_[block_].history = static_cast<int32_t>(histories_.size());
  histories_.emplace_back(history, history + size);
}

const uint8_t* FolderStream::Decode(const uint8_t* data, size_t packed, size_t unpacked) {
  if (type_ == kTypeStored) return packed == unpacked ? data : nullptr;
  return mszip_.Decode(data, packed, unpacked);
}

}  // namespace engine::cab
