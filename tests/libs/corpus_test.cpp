// Every archive of the corpus, extracted through the built libraries exactly as the program
// does, compared with what a peer extractor writes (golden/<archive>.tree, made by
// golden/make_golden.py). golden/expected.tsv gives per archive the result code and where we
// knowingly differ from the peer:
//   archive  check  code(hex)  missing  why
// missing: the paths of the golden tree we do not write, "," between them, "*" for all, "~"
// when the tree is written differently on purpose and is not compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "library_test_support.h"

namespace dizor_test {
namespace {

struct CorpusCase {
  std::string archive;  // "zip/x.zip"
  int32_t check = 1;
  int32_t code = 0;
  std::vector<std::string> missing;
  bool compare_tree = true;
};

// The format of a corpus archive, from its folder.
Format FormatOf(const std::string& archive) {
  if (archive.rfind("lha/", 0) == 0) return Format::kLha;
  if (archive.rfind("cab/", 0) == 0) return Format::kCab;
  if (archive.rfind("rar/", 0) == 0) return Format::kRar;
  return Format::kZip;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

std::vector<CorpusCase> LoadCases() {
  std::vector<CorpusCase> cases;
  for (const std::string& line : ReadLines(GoldenFolder() + "/expected.tsv")) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 4) continue;
    CorpusCase c;
    c.archive = f[0];
    c.check = std::stoi(f[1]);
    c.code = static_cast<int32_t>(std::stol(f[2], nullptr, 16));
    c.compare_tree = f[3] != "~";
    if (f[3] != "-" && f[3] != "~") c.missing = Split(f[3], ',');
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string PathOf(const std::string& line) {
  std::vector<std::string> f = Split(line, '\t');
  return f.size() > 1 ? f[1] : "";
}

class CorpusTest : public testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusTest, ExtractsWhatThePeerExtracts) {
  const CorpusCase& c = GetParam();
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  ScopedTempDir temp;
  int32_t checked = -1;
  int32_t result = ExtractLikeTheProgram(FormatOf(c.archive), corpus + "/" + c.archive,
                                         temp.Sub("out/"), &checked);
  EXPECT_EQ(checked != 0, c.check != 0);
  EXPECT_EQ(result, c.code) << std::hex << "0x" << result;
  if (!c.compare_tree) return;

  std::vector<std::string> expected;
  for (const std::string& line : ReadLines(GoldenFolder() + "/" + c.archive + ".tree")) {
    std::string path = PathOf(line);
    bool all_missing = c.missing.size() == 1 && c.missing[0] == "*";
    if (all_missing || std::find(c.missing.begin(), c.missing.end(), path) != c.missing.end()) {
      continue;
    }
    expected.push_back(line);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListTree(temp.Sub("out")), expected);
}

// The Qt program calls setlocale(LC_ALL, ""), the console one does not: names must come out
// the same either way.
TEST(CorpusLocale, NamesDoNotDependOnTheProcessLocale) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const char* const archives[] = {"zip/test_read_format_zip_filename_cp932.zip",
                                  "zip/test_read_format_zip_filename_utf8_jp.zip",
                                  "rar/test_read_format_rar_unicode.rar",
                                  "rar/test_read_format_rar5_unicode.rar"};
  LoadedLibrary zip(ZipArchiver().file_name);
  LoadedLibrary rar(RarArchiver().file_name);
  ASSERT_TRUE(zip.ok() && rar.ok());
  std::string previous = setlocale(LC_ALL, nullptr);
  for (const char* archive : archives) {
    SCOPED_TRACE(archive);
    bool is_zip = std::string(archive).rfind("zip/", 0) == 0;
    const LoadedLibrary& library = is_zip ? zip : rar;
    const Archiver& archiver = is_zip ? ZipArchiver() : RarArchiver();
    std::vector<std::vector<std::string>> trees;
    for (const char* locale : {"C", "C.UTF-8", "POSIX"}) {
      if (setlocale(LC_ALL, locale) == nullptr) continue;
      ScopedTempDir temp;
      EXPECT_EQ(ExtractLikeTheProgram(library, archiver, corpus + "/" + archive, temp.Sub("o/")),
                0);
      trees.push_back(ListTree(temp.Sub("o")));
    }
    setlocale(LC_ALL, previous.c_str());
    ASSERT_GE(trees.size(), 2u);
    for (const auto& tree : trees) EXPECT_EQ(tree, trees[0]);
    EXPECT_EQ(trees[0], ReadLines(GoldenFolder() + "/" + archive + ".tree"));
  }
}

// The checks judge by content: no archive of another format, nor any self-extractor of
// another format, is taken for the library's own.
TEST(CorpusCheck, ChecksSayYesOnlyForTheirOwnFormat) {
  std::string corpus = CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  std::map<Format, std::unique_ptr<LoadedLibrary>> libraries;
  for (Format format : {Format::kZip, Format::kLha, Format::kCab, Format::kRar}) {
    libraries[format] = std::make_unique<LoadedLibrary>(ArchiverFor(format).file_name);
    ASSERT_TRUE(libraries[format]->ok()) << libraries[format]->error();
  }
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!e.is_regular_file()) continue;
    std::string rel = std::filesystem::relative(e.path(), corpus).string();
    if (rel.find('/') == std::string::npos) continue;  // README.md, MANIFEST.tsv
    SCOPED_TRACE(rel);
    ++files;
    for (const auto& [format, library] : libraries) {
      auto check = library->Get<CheckEntry>(ArchiverFor(format).prefix + "CheckArchive");
      ASSERT_NE(check, nullptr);
      // Each file of a format's folder is an archive to that format's check and to no other,
      // RAR data behind a picture included.
      const bool own = FormatOf(rel) == format;
      EXPECT_EQ(check(e.path().c_str(), 1) != 0, own) << ArchiverFor(format).file_name;
    }
  }
  EXPECT_GT(files, 100);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, testing::ValuesIn(LoadCases()),
                         [](const testing::TestParamInfo<CorpusCase>& param_info) {
                           std::string name = param_info.param.archive;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace dizor_test
