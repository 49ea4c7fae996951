// One pass over the blocks of one volume: the main header, every file header with where
// its data lies, and how the volume ends. Encrypted headers are decrypted with the
// archive's password, which is asked for before the first of them and asked again while
// it proves wrong.
#ifndef DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SCAN_H_
#define DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/rar/rar_headers.h"
#include "engine/rar/rar_passwords.h"
#include "engine/rar/rar_signature.h"
#include "engine/rar/rar_volume_set.h"

namespace engine::rar {

struct ScannedFile {
  FileBlock file;
  int64_t data_offset = 0;      // where its packed data starts in the volume
  bool header_damaged = false;  // its checksum is wrong: nothing in it can be trusted
};

enum class ScanEnd {
  kEndBlock,     // the end of archive block
  kEndOfFile,    // the file ends right after a block (archives before RAR 2.9 have no end
                 // block)
  kCutShort,     // a header or its data runs past the end of the file
  kBroken,       // a header that cannot be read: nothing after it can be found
  kNoPassword,   // the headers are encrypted and there is no (right) password
  kUnsupported,  // headers encrypted in a way we do not know
};

struct VolumeScan {
  ArchiveStart start;
  MainBlock main;
  std::vector<ScannedFile> files;
  EndBlock end;
  ScanEnd how = ScanEnd::kBroken;
  bool headers_encrypted = false;
  bool damaged = false;  // a main or end header with a wrong checksum
  // RAR 2.9 and later end every volume with an end block, so one that stops without it
  // was cut short: RAR5 always, RAR 1.5-4.x when a file shows a 2.9 or later archiver.
  bool end_block_expected = false;
};

// False when the volume holds no RAR archive at all.
bool ScanVolume(const VolumeSet& files, size_t volume, PasswordKeeper* passwords, VolumeScan* scan);

}  // namespace engine::rar

#endif  // DIZOR_LIBS_ENGINE_RAR_RAR_VOLUME_SCAN_H_
