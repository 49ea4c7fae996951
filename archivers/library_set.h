// The archiver libraries of this run: which are installed (a library counts as found when an
// ordinary file of its name is in the program folder or in the system folder, letters
// compared without regard to case) and, once a library is first called, its binding. Nothing
// is loaded by the check.
#ifndef DIZOR_ARCHIVERS_LIBRARY_SET_H_
#define DIZOR_ARCHIVERS_LIBRARY_SET_H_

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "archivers/format_table.h"
#include "platform/ports.h"

class LibrarySet {
 public:
  explicit LibrarySet(Platform& platform) : platform_(platform) {}

  // Looks for every library and its companions in the check order, and calls `missing` with
  // the row's text for each format whose files are not all there, as soon as that is known.
  // A library never made for this system is not reported missing (it is not there either).
  void Check(const std::function<void(const char* text)>& missing);

  bool available(Format format) const { return available_[static_cast<size_t>(format)]; }

  // The library's check function on `ansi_path`; 0 when the library was not found.
  // RuntimeError 48 or 453 when it cannot be bound.
  int32_t Probe(Format format, const std::string& ansi_path, int32_t mode);

  // The library's main entry; RuntimeError 48 or 453 when it cannot be bound.
  int32_t Run(Format format, void* window, const std::string& ansi_command, char* output,
              uint32_t output_size, LibraryCallbacks* callbacks);

 private:
  bool LookFor(const char* file_name, std::string* found_path);
  ArchiverLibrary& Bound(Format format);

  Platform& platform_;
  std::array<bool, kFormatCount> available_{};
  std::array<std::string, kFormatCount> paths_;
  std::map<Format, std::unique_ptr<ArchiverLibrary>> bound_;
};

#endif  // DIZOR_ARCHIVERS_LIBRARY_SET_H_
