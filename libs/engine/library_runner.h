// What every library's exported functions do, in one place: check the arguments, catch
// everything, count running calls, run the command line, fill the optional output text.
// The thin files (unzip32.cpp, ...) only bind these to their own names and formats.
#ifndef DIZOR_LIBS_ENGINE_LIBRARY_RUNNER_H_
#define DIZOR_LIBS_ENGINE_LIBRARY_RUNNER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "dizor_callbacks.h"
#include "engine/command_options.h"
#include "engine/entry_source.h"
#include "engine/extraction_writer.h"

namespace engine {

// The state behind GetRunning and the Set/Get mode pairs of one library. The modes only
// steer a window or a cursor in the family's home system; a program without a window has
// nothing they could change, so they are stored and returned, nothing more.
struct LibraryState {
  std::atomic<int> running{0};
  // What the program registered to be asked for passwords and told of progress.
  std::atomic<DizorPasswordProc> password_proc{nullptr};
  std::atomic<DizorProgressProc> progress_proc{nullptr};
  std::atomic<void*> callback_context{nullptr};
  std::atomic<int32_t> background_mode{0};
  std::atomic<int32_t> cursor_mode{0};
  std::atomic<uint16_t> cursor_interval{80};
};

// Counts one running call for GetRunning while it lives.
class RunningScope {
 public:
  explicit RunningScope(LibraryState* state) : state_(state) { ++state_->running; }
  ~RunningScope() { --state_->running; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  LibraryState* state_;
};

// The main entry: parses `command_line` for `library`, opens the archive with `open` and
// extracts it. Returns 0 or a ResultCode.
int32_t RunExtract(LibraryState* state, Library library, ArchiveOpener open,
                   const char* command_line, char* output, uint32_t output_size);

// The check function. Mode 0 and 1: the content says this format (signature and
// structure, nothing decoded). Mode 2 and above: also decodes every entry to the end
// without writing anything, and says no if any entry fails. Non-zero means yes.
int32_t RunCheck(ArchiveChecker check, ArchiveOpener open, const char* path, int32_t mode);

// Copies `text` into `output` (capacity `size`, NUL included) without overrunning it and
// without cutting a UTF-8 character in half. Does nothing for a null buffer or size 0.
void CopyOutput(const std::string& text, char* output, uint32_t size);

// The short report the main entry writes into its output buffer.
std::string FormatReport(const ExtractReport& report);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LIBRARY_RUNNER_H_
