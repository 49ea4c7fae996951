#include "engine/rar/rar_member_input.h"

#include <algorithm>
#include <cstring>

namespace engine::rar {
namespace {

constexpr size_t kBufferSize = size_t{1} << 16;

}  // namespace

MemberInput::MemberInput(const RarArchive& archive, const RarItem& item, const ItemKey& key)
    : archive_(archive), item_(item), buffer_(new uint8_t[kBufferSize]) {
  const FileCrypt& crypt = item.header.crypt;
  if (crypt.method == Crypt::kRar30 && key.rar3 != nullptr) {
    cipher_.Start(*key.rar3);
    decrypt_ = true;
  } else if (crypt.method == Crypt::kRar50 && key.rar5 != nullptr) {
    cipher_.Start(*key.rar5, crypt.iv);
    decrypt_ = true;
    if (crypt.hash_mac) {
      mac_key_.key = key.rar5->hash_key;
      mac_key_.set = true;
    }
  }
  if (!item.pieces.empty() && item.pieces[0].check_packed) {
    piece_sum_ = std::make_unique<Checksum>(item.pieces[0].packed_hash.type);
  }
}

size_t MemberInput::Read(uint8_t* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (begin_ == ready_) {
      Refill();
      if (begin_ == ready_) break;
    }
    const size_t n = std::min(size - done, ready_ - begin_);
    std::memcpy(buf + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
  }
  return done;
}

void MemberInput::Refill() {
  // Bytes read but not yet decrypted (less than one AES block) move to the front.
  const size_t tail = end_ - ready_;
  std::memmove(buffer_.get(), buffer_.get() + ready_, tail);
  begin_ = ready_ = 0;
  end_ = tail;
  while (end_ < kBufferSize && piece_ < item_.pieces.size() && fault_ == ResultCode::kOk) {
    const DataPiece& piece = item_.pieces[piece_];
    if (piece_pos_ == piece.size) {
      if (piece.check_packed && !piece_sum_->Matches(piece.packed_hash, mac_key_.get())) {
        fault_ = ResultCode::kDamaged;
        break;
      }
      ++piece_;
      piece_pos_ = 0;
      piece_sum_.reset();
      if (piece_ < item_.pieces.size() && item_.pieces[piece_].check_packed) {
        piece_sum_ = std::make_unique<Checksum>(item_.pieces[piece_].packed_hash.type);
      }
      continue;
    }
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(kBufferSize - end_, piece.size - piece_pos_));
    const int64_t got = archive_.files.ReadAt(
        piece.volume, piece.offset + static_cast<int64_t>(piece_pos_), buffer_.get() + end_, want);
    if (got < 0) {
      fault_ = ResultCode::kMissingVolume;  // the volume went away or cannot be read
      break;
    }
    if (got == 0) {
      fault_ = ResultCode::kDamaged;  // the volume ends before the data does
      break;
    }
    if (piece_sum_) piece_sum_->Update(buffer_.get() + end_, static_cast<size_t>(got));
    piece_pos_ += static_cast<uint64_t>(got);
    end_ += static_cast<size_t>(got);
  }
  if (decrypt_) {
    const size_t whole = (end_ - ready_) & ~size_t{15};
    cipher_.Decrypt(buffer_.get() + ready_, whole);
    ready_ += whole;
  } else {
    ready_ = end_;
  }
}

}  // namespace engine::rar
