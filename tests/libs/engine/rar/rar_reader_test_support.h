// Test support for the RAR archive reader: a scripted password source, listings of what a
// reader hands out, extraction through the real writer, and corpus archives changed in
// memory (flipped bytes, cut files) written to a scratch folder.
#ifndef DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_READER_TEST_SUPPORT_H_
#define DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_READER_TEST_SUPPORT_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/entry_source.h"
#include "engine/extraction_writer.h"
#include "engine/password_source.h"

namespace rar_test {

// Answers from a list, one answer per question; nothing once the list is used up (the user
// cancels). `repeat_last`: keeps giving the last answer, like a program that saved it.
class ScriptedPasswords : public engine::PasswordSource {
 public:
  explicit ScriptedPasswords(std::vector<std::string> answers, bool repeat_last = false)
      : answers_(std::move(answers)), repeat_last_(repeat_last) {}

  std::optional<std::string> Get(bool wrong) override;

  // The `wrong` flag of every question asked, in order.
  const std::vector<bool>& questions() const { return questions_; }

 private:
  std::vector<std::string> answers_;
  bool repeat_last_;
  std::vector<bool> questions_;
};

// What a source hands out, one line per entry: "f\tname\tsize\tcrc32" for a file read to its
// end, "d\tname", "l\tname\ttarget" (symlink), "h\tname\ttarget" (hard link),
// "c\tname\ttarget" (copy), "E\tname" (marked encrypted), "F\tname\tcode" (reading failed,
// the code in hex). Names decoded as the writer decodes them, '\' turned into '/'.
struct Listing {
  engine::Status open;  // not ok: the archive did not open, and nothing else is set
  std::vector<std::string> lines;
  engine::Status end;  // how Next ended
};
// `after_open` runs once the archive is open, before its first entry is read.
Listing ReadAll(const std::string& path, engine::PasswordSource* passwords = nullptr,
                const std::function<void()>& after_open = {});

// Extracts `path` into `destination` (ending in '/') with the real writer.
engine::ExtractReport ExtractRar(const std::string& path, const std::string& destination,
                                 engine::PasswordSource* passwords = nullptr);

// The corpus path of a RAR archive; "" when the corpus is not there.
std::string CorpusRar(const std::string& name);
// The lines of golden/rar/<name>.tree, made by a peer extractor.
std::vector<std::string> GoldenTree(const std::string& name);

std::string FileBytes(const std::string& path);
bool PutFile(const std::string& path, const std::string& bytes);

// `bytes` with the byte at `at` inverted.
std::string Flipped(std::string bytes, size_t at);

}  // namespace rar_test

#endif  // DIZOR_TESTS_LIBS_ENGINE_RAR_RAR_READER_TEST_SUPPORT_H_
