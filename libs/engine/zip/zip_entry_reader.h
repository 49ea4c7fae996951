// The data of one ZIP entry: read with pread from the volume(s), decrypted, decoded and
// checked. A reader shares nothing that changes with the readers of other entries except the
// archive's password keeper, which locks, so readers of different entries may run on
// different threads at once.
#ifndef DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_READER_H_
#define DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/stream_decoder.h"
#include "engine/zip/zip_crypto.h"
#include "engine/zip/zip_entry_info.h"
#include "engine/zip/zip_passwords.h"
#include "engine/zip/zip_volumes.h"

namespace engine::zip {

// The packed bytes of the entry from the volumes, with the first ones already read along with
// the local header, so a small entry costs one read.
class PackedInput : public ByteInput {
 public:
  void Reset(const VolumeSet* volumes, VolumePos pos, uint64_t length, const uint8_t* ahead,
             size_t ahead_size);
  size_t Read(uint8_t* buf, size_t size) override;
  uint64_t left() const { return left_; }
  ResultCode error() const { return error_; }

 private:
  const VolumeSet* volumes_ = nullptr;
  VolumePos pos_;
  uint64_t left_ = 0;
  const uint8_t* ahead_ = nullptr;
  size_t ahead_size_ = 0;
  ResultCode error_ = ResultCode::kOk;
};

class ZipEntryReader {
 public:
  // `code_page`: the archive's code page for names, tried as a form of the password.
  ZipEntryReader(const VolumeSet& volumes, const ZipEntryInfo& info, PasswordKeeper* passwords,
                 int code_page);
  ~ZipEntryReader();
  ZipEntryReader(const ZipEntryReader&) = delete;
  ZipEntryReader& operator=(const ZipEntryReader&) = delete;

  // Reads the local header and gets ready to decode, asking for the password where the entry
  // needs one. A failure is this entry's: kDamaged, kEncrypted, kUnsupportedMethod,
  // kMissingVolume, kOutOfMemory.
  Status Open();

  // The entry's bytes in order, as EntrySource::Read: *got == 0 with an ok status only after
  // every byte came out and the size, the CRC and any authentication code were right.
  Status Read(void* buf, size_t size, size_t* got);

 private:
  enum class KeyCheck { kRight, kWrong, kFailed };

  Status ReadLocalHeader();
  Status OpenEncrypted();
  // Sets everything up to decode from the first byte, with `password` (a form of it) for an
  // encrypted entry; kWrong when the check value says the password is not this one.
  KeyCheck Begin(const std::string* password, Status* status);
  // Decodes to the end without handing anything out: a new password's proof.
  Status DecodeToEnd();
  Status Finish();
  Status DrainAndCheckMac();

  const VolumeSet& volumes_;
  const ZipEntryInfo& info_;
  PasswordKeeper* passwords_;
  int code_page_;

  std::vector<uint8_t> ahead_;  // the local header and what followed it
  size_t data_in_ahead_ = 0;    // where the data starts in ahead_
  VolumePos data_;
  uint16_t local_flags_ = 0;
  uint16_t local_time_ = 0;
  uint32_t local_crc_ = 0;

  PackedInput packed_;
  class DecryptingInput;
  std::unique_ptr<DecryptingInput> input_;
  std::unique_ptr<TraditionalCipher> traditional_;
  std::unique_ptr<WinZipAes> aes_;
  std::unique_ptr<StreamDecoder> decoder_;
  uint32_t crc_ = 0;
  uint64_t produced_ = 0;
  bool opened_ = false;
  bool done_ = false;
  Status final_;
};

}  // namespace engine::zip

#endif  // DIZOR_LIBS_ENGINE_ZIP_ZIP_ENTRY_READER_H_
