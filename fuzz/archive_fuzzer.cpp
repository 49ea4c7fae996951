// One archiver library's main entry on a mutated archive, exactly as the program calls it:
// the check function (and, for half the inputs, its decoding mode 2), then the extraction
// command line into a destination that already holds a file and a link of the user's.
// After every input nothing outside the destination may have changed, the user's things
// must be intact, and the result must be 0 or one of the documented codes. Built once per
// format (DIZOR_FUZZ_FORMAT_ZIP, ..._LHA, ..._CAB, ..._RAR).
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/cab/cab_format.h"
#include "engine/entry_source.h"
#include "engine/lha/lha_format.h"
#include "engine/library_runner.h"
#include "engine/rar/rar_format.h"
#include "engine/result_codes.h"
#include "engine/zip/zip_format.h"
#include "extract/format_commands.h"
#include "fuzz/fuzz_check.h"
#include "tests/fakes/sandbox.h"

namespace {

struct Target {
  engine::Library library;
  Format format;
  engine::ArchiveOpener open;
  engine::ArchiveChecker check;
  const char* file_name;
};

#if defined(DIZOR_FUZZ_FORMAT_ZIP)
constexpr Target kTarget = {engine::Library::kUnZip, Format::kZip, &engine::OpenZipArchive,
                            &engine::IsZipArchive, "archive.zip"};
#elif defined(DIZOR_FUZZ_FORMAT_LHA)
constexpr Target kTarget = {engine::Library::kUnlha, Format::kLha, &engine::OpenLhaArchive,
                            &engine::IsLhaArchive, "archive.lzh"};
#elif defined(DIZOR_FUZZ_FORMAT_CAB)
constexpr Target kTarget = {engine::Library::kCab, Format::kCab, &engine::OpenCabArchive,
                            &engine::IsCabArchive, "archive.cab"};
#elif defined(DIZOR_FUZZ_FORMAT_RAR)
constexpr Target kTarget = {engine::Library::kUnrar, Format::kRar, &engine::OpenRarArchive,
                            &engine::IsRarArchive, "archive.rar"};
#else
#error "define DIZOR_FUZZ_FORMAT_ZIP, _LHA, _CAB or _RAR"
#endif

// A mutated header can claim gigabytes; one file may not grow past this, and the write
// then fails as on a full disk instead of filling the machine.
constexpr rlim_t kMaxFileBytes = 64 << 20;

bool IsDocumented(int32_t result) {
  using engine::ResultCode;
  for (ResultCode code :
       {ResultCode::kOk, ResultCode::kUnsupportedMethod, ResultCode::kEncrypted,
        ResultCode::kDamaged, ResultCode::kMissingVolume, ResultCode::kCannotWrite,
        ResultCode::kCannotOpen, ResultCode::kNotThisFormat, ResultCode::kBadCommandLine,
        ResultCode::kOutOfMemory, ResultCode::kUnsafeEntry}) {
    if (result == static_cast<int32_t>(code)) return true;
  }
  return false;
}

dizor_test::Sandbox* sandbox = nullptr;
engine::LibraryState state;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = {kMaxFileBytes, kMaxFileBytes};
  setrlimit(RLIMIT_FSIZE, &limit);
  sandbox = new dizor_test::Sandbox();
  std::atexit([] { delete sandbox; });  // delete of null is fine
  // Relative names that slipped past the writer would land in the current folder, which
  // the sandbox watches.
  const std::string watched = sandbox->Destination() + "..";
  FUZZ_CHECK(chdir(watched.c_str()) == 0, "cannot enter %s", watched.c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string archive = sandbox->PlaceArchive(kTarget.file_name, bytes);
  (void)engine::RunCheck(kTarget.check, kTarget.open, archive.c_str(), 1);
  // Mode 2 decodes every entry without writing: another path through the decoders. Half
  // the inputs take it, so the extraction still gets most of the time.
  if (size % 2 == 1) (void)engine::RunCheck(kTarget.check, kTarget.open, archive.c_str(), 2);
  const std::string command =
      ExtractCommandLine(kTarget.format, archive, sandbox->Destination(), '/');
  char output[256] = "";
  const int32_t result = engine::RunExtract(&state, kTarget.library, kTarget.open, command.c_str(),
                                            output, sizeof output);
  const std::string broken = sandbox->Verify();
  if (!broken.empty() || !IsDocumented(result)) {
    // The sandbox goes first: an abort skips the exit handlers that would remove it.
    delete sandbox;
    sandbox = nullptr;
  }
  FUZZ_CHECK(IsDocumented(result), "undocumented result 0x%X", static_cast<unsigned>(result));
  FUZZ_CHECK(broken.empty(), "%s (result 0x%X, report: %s)", broken.c_str(),
             static_cast<unsigned>(result), output);
  return 0;
}
