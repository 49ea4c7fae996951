#include "engine/library_runner.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "engine/wildcard.h"

namespace engine {
namespace {

int32_t Code(ResultCode code) { return static_cast<int32_t>(code); }

int32_t Fail(ResultCode code, const std::string& message, char* output, uint32_t size) {
  char prefix[32];
  std::snprintf(prefix, sizeof(prefix), "error 0x%X: ", static_cast<unsigned>(code));
  CopyOutput(prefix + message + "\n", output, size);
  return Code(code);
}

// Reads every entry to its end, writing nothing.
bool DecodesCompletely(EntrySource* source) {
  std::vector<char> buffer(1 << 16);
  Entry entry;
  Status status;
  while (source->Next(&entry, &status)) {
    if (entry.encrypted) return false;
    for (;;) {
      size_t got = 0;
      Status s = source->Read(buffer.data(), buffer.size(), &got);
      if (!s.ok()) return false;
      if (got == 0) break;
    }
  }
  return status.ok();
}

// The program's password callback as the readers see it: asked at the first encrypted entry
// of the archive, and the answer reused for the others; asked again only when an answer
// proved wrong. A cancel stands for the whole archive. Nothing of the password outlives the
// call.
class CallbackPasswords : public PasswordSource {
 public:
  CallbackPasswords(DizorPasswordProc proc, void* context) : proc_(proc), context_(context) {}
  ~CallbackPasswords() override { Forget(); }
  CallbackPasswords(const CallbackPasswords&) = delete;
  CallbackPasswords& operator=(const CallbackPasswords&) = delete;

  std::optional<std::string> Get(bool wrong) override {
    if (proc_ == nullptr || cancelled_) return std::nullopt;
    if (answered_ && !wrong) return answer_;
    Forget();
    char buffer[1024] = {};
    const bool given = proc_(context_, wrong ? 1 : 0, buffer, sizeof buffer) != 0;
    buffer[sizeof buffer - 1] = '\0';
    if (given) {
      answer_ = buffer;
      answered_ = true;
    } else {
      cancelled_ = true;
    }
    explicit_bzero(buffer, sizeof buffer);
    if (!given) return std::nullopt;
    return answer_;
  }

 private:
  void Forget() {
    if (!answer_.empty()) explicit_bzero(answer_.data(), answer_.size());
    answer_.clear();
    answered_ = false;
  }

  DizorPasswordProc proc_;
  void* context_;
  std::string answer_;
  bool answered_ = false;
  bool cancelled_ = false;
};

// Only regular files are archives. A FIFO or a device would block or never end, and a
// folder cannot be read at all.
bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void CopyOutput(const std::string& text, char* output, uint32_t size) {
  if (output == nullptr || size == 0) return;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // Step back over continuation bytes so the text ends on a whole character.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

std::string FormatReport(const ExtractReport& report) {
  char line[96];
  std::snprintf(line, sizeof(line), "%zu extracted, %zu failed, result 0x%X\n", report.extracted,
                report.failed, static_cast<unsigned>(report.result));
  std::string text = line;
  for (const std::string& p : report.problems) text += p + "\n";
  return text;
}

int32_t RunExtract(LibraryState* state, Library library, ArchiveOpener open,
                   const char* command_line, char* output, uint32_t output_size) {
  RunningScope running(state);
  try {
    if (command_line == nullptr) {
      return Fail(ResultCode::kBadCommandLine, "no command line", output, output_size);
    }
    ExtractRequest request;
    std::string error;
    if (!ParseExtractRequest(library, command_line, &request, &error)) {
      return Fail(ResultCode::kBadCommandLine, error, output, output_size);
    }
    if (!IsRegularFile(request.line.archive)) {
      return Fail(ResultCode::kCannotOpen, request.line.archive + ": not a readable file", output,
                  output_size);
    }
    void* const context = state->callback_context.load();
    CallbackPasswords passwords(state->password_proc.load(), context);
    ReaderContext reader_context;
    reader_context.passwords = &passwords;
    Status status;
    std::unique_ptr<EntrySource> source = open(request.line.archive, &status, reader_context);
    if (source == nullptr) {
      ResultCode code = status.ok() ? ResultCode::kCannotOpen : status.code;
      return Fail(code, status.message, output, output_size);
    }
    ProgressFunction progress;
    if (DizorProgressProc proc = state->progress_proc.load()) {
      progress = [proc, context](const ExtractProgress& p) {
        DizorProgress info = {sizeof(DizorProgress), p.entry.c_str(), p.bytes_done,
                              p.bytes_total,         p.entries_done,  p.entries_total};
        return proc(context, &info) != 0;
      };
    }
    EntrySelector selector(request.line.patterns);
    ExtractReport report =
        ExtractAll(source.get(), request.line.destination, request.options, selector, progress);
    CopyOutput(FormatReport(report), output, output_size);
    return Code(report.result);
  } catch (const std::bad_alloc&) {
    return Fail(ResultCode::kOutOfMemory, "out of memory", output, output_size);
  } catch (...) {
    return Fail(ResultCode::kDamaged, "unexpected failure", output, output_size);
  }
}

int32_t RunCheck(ArchiveChecker check, ArchiveOpener open, const char* path, int32_t mode) {
  if (path == nullptr || *path == '\0') return 0;
  try {
    if (!IsRegularFile(path) || !check(path)) return 0;
    if (mode < 2) return 1;
    Status status;
    // The check asks nobody for a password: encrypted entries simply fail its decoding mode.
    std::unique_ptr<EntrySource> source = open(path, &status, ReaderContext{});
    return source != nullptr && DecodesCompletely(source.get()) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace engine
