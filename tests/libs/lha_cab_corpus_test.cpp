// Every LHA and CAB archive of the corpus through OpenLhaArchive / OpenCabArchive, compared
// with what the peers extract (golden/lha_corpus.tsv and golden/cab_corpus.tsv, made by
// golden/lha_cab_make_golden.py): names as the writer decodes them, types, sizes, SHA-256 of
// the content, link targets. Then the same archives through UNLHA32.DLL and CAB32.DLL with
// the program's own command lines.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/cab/cab_format.h"
#include "engine/entry_source.h"
#include "engine/lha/lha_format.h"
#include "engine/name_decoder.h"
#include "library_test_support.h"

namespace engine {
namespace {

// A small SHA-256, so the listings can be compared with `sha256sum` output.
class Sha256 {
 public:
  void Update(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      block_[fill_++] = p[i];
      if (fill_ == 64) Compress();
    }
    length_ += n;
  }
  std::string Hex() {
    uint64_t bits = length_ * 8;
    uint8_t pad = 0x80;
    Update(&pad, 1);
    pad = 0;
    while (fill_ != 56) Update(&pad, 1);
    for (int i = 7; i >= 0; --i) {
      uint8_t b = static_cast<uint8_t>(bits >> (i * 8));
      Update(&b, 1);
    }
    std::string out;
    char buf[9];
    for (uint32_t v : h_) {
      std::snprintf(buf, sizeof buf, "%08x", v);
      out += buf;
    }
    return out;
  }

 private:
  static uint32_t Rot(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void Compress() {
    static constexpr std::array<uint32_t, 64> k = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = (uint32_t{block_[i * 4]} << 24) | (uint32_t{block_[i * 4 + 1]} << 16) |
             (uint32_t{block_[i * 4 + 2]} << 8) | block_[i * 4 + 3];
    }
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<uint32_t, 8> v = h_;
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 = v[7] + (Rot(v[4], 6) ^ Rot(v[4], 11) ^ Rot(v[4], 25)) +
                    ((v[4] & v[5]) ^ (~v[4] & v[6])) + k[i] + w[i];
      uint32_t t2 = (Rot(v[0], 2) ^ Rot(v[0], 13) ^ Rot(v[0], 22)) +
                    ((v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]));
      v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (int i = 0; i < 8; ++i) h_[i] += v[i];
    fill_ = 0;
  }

  std::array<uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block_{};
  size_t fill_ = 0;
  uint64_t length_ = 0;
};

std::string Sha256Of(const std::string& data) {
  Sha256 h;
  h.Update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  return h.Hex();
}

// One member as the golden listing has it: name \t type \t size \t sha256 \t link.
struct Member {
  std::string name, type, size, sha256, link;
  std::string Line() const {
    return name + "\t" + type + "\t" + size + "\t" + sha256 + "\t" + link;
  }
};

std::map<std::string, std::map<std::string, Member>> LoadGolden(const std::string& table) {
  std::map<std::string, std::map<std::string, Member>> golden;
  std::ifstream in(dizor_test::GoldenFolder() + "/" + table);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    std::string part;
    while (std::getline(fields, part, '\t')) f.push_back(part);
    f.resize(6);
    golden[f[0]][f[1]] = Member{f[1], f[2], f[3], f[4], f[5]};
  }
  return golden;
}

// Where we knowingly fail a member the peer extracts (or that no peer extracts whole).
struct ExpectedFailure {
  const char* archive;
  const char* name;
  ResultCode code;
};
constexpr ExpectedFailure kExpectedFailures[] = {
    {"lha/regression/truncated.lzh", "GPL-2", ResultCode::kDamaged},
    // Later parts of a set: the folders that begin in an earlier part cannot be decoded.
    {"cab/split-2.cab", "small2.bin", ResultCode::kMissingVolume},
    {"cab/split-2.cab", "medium1.bin", ResultCode::kMissingVolume},
    {"cab/split-3.cab", "medium2.bin", ResultCode::kMissingVolume},
    {"cab/split-4.cab", "medium2.bin", ResultCode::kMissingVolume},
    {"cab/split-5.cab", "small3.bin", ResultCode::kMissingVolume},
    {"cab/split-5.cab", "medium3.bin", ResultCode::kMissingVolume},
    {"cab/test_read_format_cab_multi.p2.cab", "ones", ResultCode::kMissingVolume},
};

// A later part lists only the files that start in it or after it; cabextract, which goes
// back to the first part, lists the whole set.
bool IsLaterPart(const std::string& archive) {
  return archive.rfind("cab/split-", 0) == 0 ? archive != "cab/split-1.cab"
                                             : archive.find("multi.p2") != std::string::npos;
}

ResultCode ExpectedCode(const std::string& archive, const std::string& name) {
  for (const ExpectedFailure& f : kExpectedFailures) {
    if (archive == f.archive && name == f.name) return f.code;
  }
  return ResultCode::kOk;
}

const char* TypeLetter(EntryType t) {
  return t == EntryType::kDirectory ? "d" : t == EntryType::kSymlink ? "l" : "f";
}

std::string Decoded(NameDecoder* decoder, const std::string& raw, NameEncoding encoding) {
  std::string name = decoder->Decode(raw, encoding);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

void CompareWithGolden(const std::string& archive, const std::map<std::string, Member>& golden) {
  SCOPED_TRACE(archive);
  std::string path = dizor_test::CorpusFolder() + "/" + archive;
  bool lha = archive.rfind("lha/", 0) == 0;
  Status status;
  std::unique_ptr<EntrySource> source =
      lha ? OpenLhaArchive(path, &status) : OpenCabArchive(path, &status);
  ASSERT_NE(source, nullptr) << status.message;
  NameDecoder decoder;
  std::map<std::string, bool> seen;
  Entry entry;
  while (source->Next(&entry, &status)) {
    Member m{Decoded(&decoder, entry.name, entry.name_encoding), TypeLetter(entry.type),
             std::to_string(entry.size), "-", entry.link_target};
    SCOPED_TRACE(m.name);
    std::string data;
    char buf[8192];
    size_t got = 0;
    Status read;
    while ((read = source->Read(buf, sizeof buf, &got)).ok() && got > 0) data.append(buf, got);
    EXPECT_EQ(read.code, ExpectedCode(archive, m.name)) << read.message;
    auto g = golden.find(m.name);
    ASSERT_NE(g, golden.end()) << "not in the peer's listing: " << m.Line();
    seen[m.name] = true;
    if (read.ok() && m.type == "f") {
      EXPECT_EQ(data.size(), static_cast<size_t>(entry.size));
      m.sha256 = Sha256Of(data);
    } else {
      m.sha256 = g->second.sha256 == "-" || !read.ok() ? g->second.sha256 : "-";
    }
    EXPECT_EQ(m.Line(), g->second.Line());
  }
  EXPECT_EQ(status.code,
            archive == "lha/regression/truncated.lzh" ? ResultCode::kDamaged : ResultCode::kOk)
      << status.message;
  if (!IsLaterPart(archive)) {
    EXPECT_EQ(seen.size(), golden.size());
  }
}

TEST(LhaCabCorpus, EveryArchiveMatchesThePeers) {
  if (dizor_test::CorpusFolder().empty()) {
    GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  }
  auto lha = LoadGolden("lha_corpus.tsv");
  auto cab = LoadGolden("cab_corpus.tsv");
  ASSERT_GE(lha.size(), 24u);
  ASSERT_GE(cab.size(), 16u);
  for (const auto& [archive, members] : lha) CompareWithGolden(archive, members);
  for (const auto& [archive, members] : cab) CompareWithGolden(archive, members);
}

// The checks judge by content: no archive of another format, nor any self-extractor of
// another format, is taken for LHA or CAB.
TEST(LhaCabCorpus, ChecksSayYesOnlyForTheirOwnFormat) {
  std::string corpus = dizor_test::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!e.is_regular_file()) continue;
    std::string rel = std::filesystem::relative(e.path(), corpus).string();
    if (rel.find('/') == std::string::npos) continue;  // README.md, MANIFEST.tsv
    SCOPED_TRACE(rel);
    ++files;
    EXPECT_EQ(IsLhaArchive(e.path().string()), rel.rfind("lha/", 0) == 0);
    EXPECT_EQ(IsCabArchive(e.path().string()), rel.rfind("cab/", 0) == 0);
  }
  EXPECT_GT(files, 90);
}

// Through the built libraries with the program's command lines: the tree written must hold
// the golden files with the right Japanese names.
struct LibraryCase {
  const char* archive;
  int32_t code;
};

TEST(LhaCabCorpus, LibrariesWriteTheGoldenTree) {
  std::string corpus = dizor_test::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const LibraryCase cases[] = {
      {"lha/test_read_format_lha_filename_cp932.lzh", 0},
      {"lha/test_read_format_lha_filename_utf16.lzh", 0},
      {"lha/lhmelt_16536/h0_lh1.lzh", 0},
      {"lha/explzh_723/declha_sfx_ansi.exe", 0},
      {"lha/regression/truncated.lzh", static_cast<int32_t>(ResultCode::kDamaged)},
      {"cab/test_read_format_cab_filename_cp932.cab", 0},
      {"cab/encoding-sjis.cab", 0},
      {"cab/mszip_lzx_qtm.cab", 0},
      {"cab/split-1.cab", 0},
      {"cab/test_read_format_cab_multi.p2.cab", static_cast<int32_t>(ResultCode::kMissingVolume)},
  };
  auto lha_golden = LoadGolden("lha_corpus.tsv");
  auto cab_golden = LoadGolden("cab_corpus.tsv");
  dizor_test::LoadedLibrary unlha("UNLHA32.DLL");
  dizor_test::LoadedLibrary cab("CAB32.DLL");
  ASSERT_TRUE(unlha.ok()) << unlha.error();
  ASSERT_TRUE(cab.ok()) << cab.error();
  for (const LibraryCase& c : cases) {
    std::string archive = c.archive;
    SCOPED_TRACE(archive);
    bool lha = archive.rfind("lha/", 0) == 0;
    dizor_test::ScopedTempDir dest;
    int32_t checked = 0;
    int32_t result = dizor_test::ExtractLikeTheProgram(
        lha ? unlha : cab, lha ? dizor_test::LhaArchiver() : dizor_test::CabArchiver(),
        corpus + "/" + archive, dest.path() + "/", &checked);
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(result, c.code);
    for (const auto& [name, member] : (lha ? lha_golden : cab_golden)[archive]) {
      if (member.type != "f" || ExpectedCode(archive, name) != ResultCode::kOk) continue;
      SCOPED_TRACE(name);
      std::string path = dest.path() + "/" + name;
      ASSERT_TRUE(dizor_test::Exists(path));
      EXPECT_EQ(Sha256Of(dizor_test::ReadFile(path)), member.sha256);
    }
  }
}

}  // namespace
}  // namespace engine
