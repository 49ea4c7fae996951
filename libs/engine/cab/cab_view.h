// A cabinet as libmspack is shown it, where the file as it is would stop libmspack: a cabinet
// that starts after other bytes (libmspack opens cabinets at offset 0 only), and a cabinet
// with a file record whose name is empty (libmspack then refuses the whole cabinet, where
// only that one file is lost). The view starts at the cabinet and gives each empty name a
// placeholder byte; the offsets after the file records move by the bytes inserted. Data
// blocks are read from the file unchanged, checksums included.
#ifndef DIZOR_LIBS_ENGINE_CAB_CAB_VIEW_H_
#define DIZOR_LIBS_ENGINE_CAB_CAB_VIEW_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/cab/cab_directory.h"

namespace engine::cab {

// What an empty name reads as in a view. Windows allows no control character in a name, so
// no cabinet made by its tools has this one.
inline constexpr char kEmptyNamePlaceholder[] = "\x01";

struct CabinetView {
  uint64_t base = 0;       // where the cabinet starts in its file
  std::string head;        // the directory as shown
  uint64_t head_from = 0;  // the bytes of the stored directory that `head` stands for
};

// True when the cabinet at `base` with this directory needs a view at all.
bool NeedsView(const CabinetDirectory& dir, uint64_t base);

// The view of the cabinet at `base`, from its directory and the directory's bytes as stored.
CabinetView MakeView(const CabinetDirectory& dir, const std::string& raw, uint64_t base);

// A cabinet file read through a view, or as it is when there is none (`view` null).
// Positions are those libmspack sees.
class CabinetFile {
 public:
  CabinetFile() = default;
  CabinetFile(const CabinetFile&) = delete;
  CabinetFile& operator=(const CabinetFile&) = delete;
  ~CabinetFile();

  bool Open(const char* path, const CabinetView* view);
  // Bytes read, 0 at the end, -1 on a read error.
  int Read(void* buffer, int bytes);
  // whence: SEEK_SET, SEEK_CUR or SEEK_END.
  bool Seek(int64_t offset, int whence);
  int64_t Tell() const;

 private:
  FILE* stream_ = nullptr;
  const CabinetView* view_ = nullptr;
  int64_t position_ = 0;    // in the view
  int64_t size_ = 0;        // of the view
  int64_t stream_at_ = -1;  // the stream's own position in the file, -1 when unknown
};

}  // namespace engine::cab

#endif  // DIZOR_LIBS_ENGINE_CAB_CAB_VIEW_H_
