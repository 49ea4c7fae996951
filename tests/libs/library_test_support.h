// Shared helpers of the library tests: loading the built libraries exactly as the program
// does (dlopen + dlsym of the family's entry points, the program's command lines) and
// listings of an extracted tree in the format of the golden files.
#ifndef DIZOR_TESTS_LIBS_LIBRARY_TEST_SUPPORT_H_
#define DIZOR_TESTS_LIBS_LIBRARY_TEST_SUPPORT_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archivers/format_table.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

namespace dizor_test {

using MainEntry = int32_t (*)(void*, const char*, char*, uint32_t);
using CheckEntry = int32_t (*)(const char*, int32_t);

// One loaded library file. Loaded by full path from the build's bin folder (or `folder`).
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& file_name, const std::string& folder = "");
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool ok() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  void* Symbol(const std::string& name) const;
  template <typename F>
  F Get(const std::string& name) const {
    return reinterpret_cast<F>(Symbol(name));
  }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The archiver library of a format, from the program's format table: P##CheckArchive and P
// as the main entry.
struct Archiver {
  Format format;
  std::string file_name;  // as built: "UNZIP32.DLL"
  std::string prefix;     // "UnZip"
  // The command line the program sends, from the archive and the destination (which ends
  // with '/').
  std::string command(const std::string& archive, const std::string& destination) const;
};

const Archiver& ArchiverFor(Format format);
const Archiver& ZipArchiver();
const Archiver& RarArchiver();
const Archiver& LhaArchiver();
const Archiver& CabArchiver();

// Probes with mode 1, then calls the main entry as the program does (the buffer given as
// the program gives it: ZIP a null pointer, the others "" with size 0). Returns the main
// entry's result; *checked receives the probe's answer when not null.
int32_t ExtractLikeTheProgram(const LoadedLibrary& library, const Archiver& archiver,
                              const std::string& archive, const std::string& destination,
                              int32_t* checked = nullptr);
// The same with the format's library from the build's bin folder, loaded once for the whole
// test program as the program keeps its libraries. Fails the test and returns -1 when the
// library or its entry points cannot be loaded.
int32_t ExtractLikeTheProgram(Format format, const std::string& archive,
                              const std::string& destination, int32_t* checked = nullptr);

// The build's folder of library files (DIZOR_LIB_DIR).
std::string LibraryFolder();
// The corpus of third-party archives, or "" when it is not there.
std::string CorpusFolder();
std::string GoldenFolder();

// Sorted lines "f\tpath\tsize\tcrc32", "d\tpath", "l\tpath\ttarget" of everything below
// `root` (the format make_golden.py writes).
std::vector<std::string> ListTree(const std::string& root);

// Writes a ZIP archive with libarchive's writer, names stored exactly as given (so a test
// can build hostile ones). An entry whose content starts with "->" is a symlink to the
// rest.
bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace dizor_test

#endif  // DIZOR_TESTS_LIBS_LIBRARY_TEST_SUPPORT_H_
