// What our libraries ask the program through the callbacks it registers
// (<prefix>SetDizorCallbacks): the password of an encrypted archive, asked once and again
// only after a wrong answer, and the progress of an extraction, whose answer can cancel it.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dizor_callbacks.h"
#include "library_test_support.h"

namespace dizor_test {
namespace {

using SetCallbacks = int32_t (*)(DizorPasswordProc, DizorProgressProc, void*);

// The program's side, scripted: the answers it gives and what it was asked.
struct Program {
  std::vector<std::string> answers;  // "" stands for a cancel
  std::vector<int32_t> asked;        // the `wrong` flag of each question
  int progress_calls = 0;
  int cancel_at = -1;  // answer false to this progress call (0-based)
  uint64_t last_done = 0;
};

int32_t Password(void* context, int32_t wrong, char* password, uint32_t size) {
  auto* program = static_cast<Program*>(context);
  program->asked.push_back(wrong);
  if (program->asked.size() > program->answers.size()) return 0;
  const std::string& answer = program->answers[program->asked.size() - 1];
  if (answer.empty()) return 0;
  std::snprintf(password, size, "%s", answer.c_str());
  return 1;
}

int32_t Progress(void* context, const DizorProgress* progress) {
  auto* program = static_cast<Program*>(context);
  EXPECT_GE(progress->bytes_done, program->last_done) << "progress went backwards";
  program->last_done = progress->bytes_done;
  return program->progress_calls++ == program->cancel_at ? 0 : 1;
}

bool Have(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

// An archive made on the spot: plain.txt unencrypted, secret.txt with the password "tanuki".
std::string MakeArchive(const ScopedTempDir& temp, const char* kind) {
  WriteFile(temp.Sub("in/plain.txt"), "plain\n");
  WriteFile(temp.Sub("in/secret.txt"), std::string(100000, 's'));
  const std::string archive = temp.Sub(std::string(kind) + ".zip");
  const std::string in = "cd " + temp.Sub("in") + " && ";
  std::string command;
  if (std::string(kind) == "zipcrypto") {
    command =
        in + "zip -q " + archive + " plain.txt && zip -q -P tanuki " + archive + " secret.txt";
  } else {
    command = in + "zip -q " + archive + " plain.txt && 7z a -tzip -mem=AES256 -ptanuki " +
              archive + " secret.txt >/dev/null";
  }
  return std::system(command.c_str()) == 0 ? archive : "";
}

TEST(LibraryCallbacks, PasswordRightWrongThenRightOrCancelledForBothCiphers) {
  if (!Have("zip") || !Have("7z")) GTEST_SKIP() << "zip and 7z are needed to make the archives";
  struct Case {
    const char* what;
    std::vector<std::string> answers;
    int32_t result;
    std::vector<int32_t> asked;
    bool secret_written;
  };
  const Case cases[] = {
      {"right at once", {"tanuki"}, 0, {0}, true},
      {"wrong, then right", {"kitsune", "tanuki"}, 0, {0, 1}, true},
      {"cancelled: the encrypted entry fails, the plain one comes out", {""}, 0x800A, {0}, false},
      {"wrong, then cancelled", {"kitsune", ""}, 0x800A, {0, 1}, false},
  };
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  auto set = library.Get<SetCallbacks>("UnZipSetDizorCallbacks");
  ASSERT_NE(set, nullptr);
  for (const char* kind : {"zipcrypto", "aes256"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(kind) + ": " + c.what);
      ScopedTempDir temp;
      const std::string archive = MakeArchive(temp, kind);
      ASSERT_FALSE(archive.empty());
      Program program;
      program.answers = c.answers;
      set(&Password, &Progress, &program);
      const int32_t result =
          ExtractLikeTheProgram(library, ZipArchiver(), archive, temp.Sub("out/"));
      set(nullptr, nullptr, nullptr);
      EXPECT_EQ(result, c.result);
      EXPECT_EQ(program.asked, c.asked);
      EXPECT_EQ(ReadFile(temp.Sub("out/plain.txt")), "plain\n");
      EXPECT_EQ(Exists(temp.Sub("out/secret.txt")), c.secret_written);
      if (c.secret_written) {
        EXPECT_EQ(ReadFile(temp.Sub("out/secret.txt")), std::string(100000, 's'));
      }
    }
  }
}

// Without a program to ask, an encrypted entry fails as it always did.
TEST(LibraryCallbacks, NobodyToAskFailsTheEncryptedEntryOnly) {
  if (!Have("zip")) GTEST_SKIP() << "zip is needed to make the archive";
  LoadedLibrary library(ZipArchiver().file_name);
  ASSERT_TRUE(library.ok()) << library.error();
  ScopedTempDir temp;
  const std::string archive = MakeArchive(temp, "zipcrypto");
  ASSERT_FALSE(archive.empty());
  EXPECT_EQ(ExtractLikeTheProgram(library, ZipArchiver(), archive, temp.Sub("out/")), 0x800A);
  EXPECT_EQ(ReadFile(temp.Sub("out/plain.txt")), "plain\n");
  EXPECT_FALSE(Exists(temp.Sub("out/secret.txt")));
}

// Progress goes forward and ends at the archive's total; a cancel ends the call with 0x8020
// and leaves no file half-written, for every format.
TEST(LibraryCallbacks, ProgressReachesTheTotalAndACancelLeavesNothingHalfWritten) {
  if (!Have("zip") || !Have("gcab")) GTEST_SKIP() << "zip and gcab are needed";
  ScopedTempDir temp;
  for (int i = 0; i < 8; ++i) {
    WriteFile(temp.Sub("in/f" + std::to_string(i) + ".bin"),
              std::string(size_t(3) << 20, static_cast<char>('a' + i)));
  }
  ASSERT_EQ(std::system(("cd " + temp.Sub("in") + " && zip -q -0 " + temp.Sub("a.zip") +
                         " *.bin && gcab -c " + temp.Sub("a.cab") + " *.bin")
                            .c_str()),
            0);
  for (Format format : {Format::kZip, Format::kCab}) {
    const Archiver& archiver = ArchiverFor(format);
    SCOPED_TRACE(archiver.file_name);
    LoadedLibrary library(archiver.file_name);
    ASSERT_TRUE(library.ok()) << library.error();
    auto set = library.Get<SetCallbacks>(archiver.prefix + "SetDizorCallbacks");
    ASSERT_NE(set, nullptr);
    const std::string archive = temp.Sub(format == Format::kZip ? "a.zip" : "a.cab");

    Program whole;
    set(&Password, &Progress, &whole);
    EXPECT_EQ(ExtractLikeTheProgram(library, archiver, archive, temp.Sub("whole/")), 0);
    EXPECT_GT(whole.progress_calls, 8);  // at least each entry's start and the end
    EXPECT_EQ(whole.last_done, uint64_t{24} << 20);

    Program cancelling;
    cancelling.cancel_at = 5;
    set(&Password, &Progress, &cancelling);
    EXPECT_EQ(ExtractLikeTheProgram(library, archiver, archive, temp.Sub("cut/")), 0x8020);
    set(nullptr, nullptr, nullptr);
    int complete = 0;
    for (int i = 0; i < 8; ++i) {
      struct stat st;
      if (lstat(temp.Sub("cut/f" + std::to_string(i) + ".bin").c_str(), &st) != 0) continue;
      EXPECT_EQ(st.st_size, 3 << 20) << "f" << i << " was left half-written";
      ++complete;
    }
    EXPECT_LT(complete, 8);
    EXPECT_EQ(ListTree(temp.Sub("cut")).size(), static_cast<size_t>(complete))
        << "a temporary was left behind";
  }
}

}  // namespace
}  // namespace dizor_test
