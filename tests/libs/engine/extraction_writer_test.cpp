// The writer's safety rules, driven by a scripted EntrySource: names and links that try
// to leave the destination, damaged data over existing files, and what still gets written.
#include "engine/extraction_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "engine/worker_pool.h"
#include "library_test_support.h"
#include "tests/fakes/tmpfs_mount.h"

namespace engine {
namespace {

using dizor_test::Exists;
using dizor_test::ReadFile;
using dizor_test::ScopedTempDir;
using dizor_test::WriteFile;

struct FakeEntry {
  Entry entry;
  std::string data;
  // When not ok: Read hands over the first half of `data`, then fails with this.
  Status failure = Status::Ok();
};

class FakeSource : public EntrySource {
 public:
  explicit FakeSource(std::vector<FakeEntry> entries, Status end = Status::Ok())
      : entries_(std::move(entries)), end_(std::move(end)) {}

  bool Next(Entry* entry, Status* status) override {
    *status = Status::Ok();
    if (++index_ >= entries_.size()) {
      *status = end_;
      return false;
    }
    *entry = entries_[index_].entry;
    offset_ = 0;
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    const FakeEntry& e = entries_[index_];
    size_t limit = e.failure.ok() ? e.data.size() : e.data.size() / 2;
    *got = std::min(size, limit - offset_);
    std::copy_n(e.data.data() + offset_, *got, static_cast<char*>(buf));
    offset_ += *got;
    if (*got == 0 && !e.failure.ok()) return e.failure;
    return Status::Ok();
  }

 protected:
  const FakeEntry& current() const { return entries_[index_]; }

 private:
  std::vector<FakeEntry> entries_;
  Status end_;
  size_t index_ = static_cast<size_t>(-1);
  size_t offset_ = 0;
};

// Entries that decode independently: each one's data is handed out to be read on a worker.
class DetachingSource : public FakeSource {
 public:
  using FakeSource::FakeSource;
  std::unique_ptr<EntryData> DetachData() override {
    class Data : public EntryData {
     public:
      explicit Data(FakeEntry e) : e_(std::move(e)) {}
      Status Read(void* buf, size_t size, size_t* got) override {
        const size_t limit = e_.failure.ok() ? e_.data.size() : e_.data.size() / 2;
        *got = std::min(size, limit - offset_);
        std::copy_n(e_.data.data() + offset_, *got, static_cast<char*>(buf));
        offset_ += *got;
        if (*got == 0 && !e_.failure.ok()) return e_.failure;
        return Status::Ok();
      }

     private:
      FakeEntry e_;
      size_t offset_ = 0;
    };
    ++detached;
    return std::make_unique<Data>(current());
  }
  int detached = 0;
};

FakeEntry File(const std::string& name, const std::string& data) {
  FakeEntry f;
  f.entry.name = name;
  f.entry.size = static_cast<int64_t>(data.size());
  f.data = data;
  return f;
}

FakeEntry Link(EntryType type, const std::string& name, const std::string& target) {
  FakeEntry f;
  f.entry.name = name;
  f.entry.type = type;
  f.entry.link_target = target;
  return f;
}

FakeEntry Damaged(const std::string& name, const std::string& data) {
  FakeEntry f = File(name, data);
  f.failure = Status::Entry(ResultCode::kDamaged, "CRC error");
  return f;
}

// "f path=content", "d path", "l path->target" for everything below `root`.
void Describe(const std::string& root, const std::string& rel, std::vector<std::string>* out) {
  DIR* d = opendir((root + "/" + rel).c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string r = rel.empty() ? n : rel + "/" + n;
    std::string full = root + "/" + r;
    struct stat st;
    lstat(full.c_str(), &st);
    if (S_ISLNK(st.st_mode)) {
      char t[512] = {};
      readlink(full.c_str(), t, sizeof(t) - 1);
      out->push_back("l " + r + "->" + t);
    } else if (S_ISDIR(st.st_mode)) {
      out->push_back("d " + r);
      Describe(root, r, out);
    } else {
      out->push_back("f " + r + "=" + ReadFile(full));
    }
  }
  closedir(d);
}

std::vector<std::string> Describe(const std::string& root) {
  std::vector<std::string> out;
  Describe(root, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

struct WriterCase {
  const char* what;
  std::vector<FakeEntry> entries;
  ResultCode result;
  std::vector<std::string> tree;  // of the destination afterwards
  // Prepares the destination (and the folder beside it) before the run.
  std::function<void(const std::string& dest, const std::string& outside)> setup = nullptr;
  ExtractOptions options = {};
  Status end = Status::Ok();
};

TEST(ExtractAll, SafetyRulesAndWhatIsStillWritten) {
  FakeEntry encrypted = File("secret.txt", "x");
  encrypted.entry.encrypted = true;
  FakeEntry short_data = File("short.txt", "12345");
  short_data.entry.size = 10;
  FakeEntry cp932 = File("\x95\x5C\\a.txt", "sjis");  // 表\a.txt, trail byte 0x5C
  const WriterCase cases[] = {
      {"'..' parts are refused, the rest is written",
       {File("../evil.txt", "x"), File(R"(a\..\..\evil2.txt)", "x"), File("good.txt", "ok")},
       ResultCode::kUnsafeEntry,
       {"f good.txt=ok"}},
      {"absolute names lose their root and stay inside",
       {File("/abs.txt", "1"), File(R"(C:\win\x.txt)", "2"), File(R"(\\server\share\y.txt)", "3")},
       ResultCode::kUnsafeEntry,
       {"d server", "d server/share", "d win", "f abs.txt=1", "f server/share/y.txt=3",
        "f win/x.txt=2"}},
      {"a link out is refused, so a file 'through' it lands in a real folder",
       {Link(EntryType::kSymlink, "link", "../outside"), File("link/passwd", "p")},
       ResultCode::kUnsafeEntry,
       {"d link", "f link/passwd=p"}},
      {"absolute link targets are refused",
       {Link(EntryType::kSymlink, "etc", "/etc"), File("ok.txt", "1")},
       ResultCode::kUnsafeEntry,
       {"f ok.txt=1"}},
      {"nothing is written through a link, even one pointing inside",
       {File("sub/keep.txt", "k"), Link(EntryType::kSymlink, "inlink", "sub"),
        File("inlink/new.txt", "n")},
       ResultCode::kUnsafeEntry,
       {"d sub", "f sub/keep.txt=k", "l inlink->sub"}},
      {"links inside the destination are made",
       {File("dir/f.txt", "f"), Link(EntryType::kSymlink, "dir/up", "../dir/f.txt"),
        Link(EntryType::kSymlink, "same", "dir/f.txt")},
       ResultCode::kOk,
       {"d dir", "f dir/f.txt=f", "l dir/up->../dir/f.txt", "l same->dir/f.txt"}},
      {"a link already in the destination is not followed",
       {File("pre/x.txt", "x"), File("pre", "replaced")},
       ResultCode::kUnsafeEntry,
       {"f pre=replaced"},
       [](const std::string& dest, const std::string&) {
         symlink("../outside", (dest + "/pre").c_str());
       }},
      {"hard links only to files extracted in this run",
       {File("good.txt", "g"), Link(EntryType::kHardlink, "h1", "../outside/keep.txt"),
        Link(EntryType::kHardlink, "h2", "/etc/passwd"),
        Link(EntryType::kHardlink, "h3", "not_extracted.txt"),
        Link(EntryType::kHardlink, "h4", "good.txt")},
       ResultCode::kUnsafeEntry,
       {"f good.txt=g", "f h4=g"}},
      {"a damaged entry leaves the existing file as it was",
       {Damaged("existing.txt", "new data new data"), File("after.txt", "a")},
       ResultCode::kDamaged,
       {"f after.txt=a", "f existing.txt=old"},
       [](const std::string& dest, const std::string&) {
         WriteFile(dest + "/existing.txt", "old");
       }},
      {"data shorter than its header says is not written", {short_data}, ResultCode::kDamaged, {}},
      {"encrypted entries are refused, the rest is written",
       {encrypted, File("plain.txt", "p")},
       ResultCode::kEncrypted,
       {"f plain.txt=p"}},
      {"a volume missing at the end is the result",
       {File("first.txt", "1")},
       ResultCode::kMissingVolume,
       {"f first.txt=1"},
       nullptr,
       {},
       Status::Fatal(ResultCode::kMissingVolume, "next volume missing")},
      {"the first failure decides the result",
       {File("../x", "x"), Damaged("d.txt", "data"), File("ok.txt", "o")},
       ResultCode::kUnsafeEntry,
       {"f ok.txt=o"}},
      {"existing files are replaced",
       {File("a.txt", "new")},
       ResultCode::kOk,
       {"f a.txt=new"},
       [](const std::string& dest, const std::string&) { WriteFile(dest + "/a.txt", "old"); }},
      {"keep-existing leaves them",
       {File("a.txt", "new"), File("b.txt", "b")},
       ResultCode::kOk,
       {"f a.txt=old", "f b.txt=b"},
       [](const std::string& dest, const std::string&) { WriteFile(dest + "/a.txt", "old"); },
       {true, false}},
      {"flattening drops the folders",
       {File("a/b/c.txt", "c"), File("d.txt", "d")},
       ResultCode::kOk,
       {"f c.txt=c", "f d.txt=d"},
       nullptr,
       {false, true}},
      {"a file where a folder is needed",
       {File("f/x.txt", "x"), File("y.txt", "y")},
       ResultCode::kCannotWrite,
       {"f f=plain", "f y.txt=y"},
       [](const std::string& dest, const std::string&) { WriteFile(dest + "/f", "plain"); }},
      // The target reads as inside, but "sub" is the user's own link to a folder elsewhere.
      {"a link through a link already there that leads out",
       {Link(EntryType::kSymlink, "notes.txt", "sub/keep.txt"), File("ok.txt", "ok")},
       ResultCode::kUnsafeEntry,
       {"f ok.txt=ok", "l sub->../outside"},
       [](const std::string& dest, const std::string&) {
         symlink("../outside", (dest + "/sub").c_str());
       }},
      {"a link over the user's file, through a link that leads out",
       {Link(EntryType::kSymlink, "mine.txt", "sub/keep.txt")},
       ResultCode::kUnsafeEntry,
       {"f mine.txt=mine", "l sub->../outside"},
       [](const std::string& dest, const std::string&) {
         WriteFile(dest + "/mine.txt", "mine");
         symlink("../outside", (dest + "/sub").c_str());
       }},
      {"the archive's own links may lead through each other inside",
       {File("dir/f.txt", "f"), Link(EntryType::kSymlink, "a", "dir"),
        Link(EntryType::kSymlink, "b", "a/f.txt")},
       ResultCode::kOk,
       {"d dir", "f dir/f.txt=f", "l a->dir", "l b->a/f.txt"}},
      {"an entry without a name fails alone",
       {File("", "x"), File("ok.txt", "ok")},
       ResultCode::kDamaged,
       {"f ok.txt=ok"}},
      {"a copy of an earlier file gets its data",
       {File("a.txt", "data"), Link(EntryType::kFileCopy, "sub/b.txt", "a.txt")},
       ResultCode::kOk,
       {"d sub", "f a.txt=data", "f sub/b.txt=data"}},
      {"a copy of a file not extracted here fails alone",
       {Link(EntryType::kFileCopy, "b.txt", "../outside/keep.txt"), File("ok.txt", "ok")},
       ResultCode::kDamaged,
       {"f ok.txt=ok"}},
      {"CP932 names are decoded before they are split",
       {cp932},
       ResultCode::kOk,
       {"d 表", "f 表/a.txt=sjis"}},
  };
  for (const WriterCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir temp;
    std::string dest = temp.Sub("dest");
    std::string outside = temp.Sub("outside");
    mkdir(dest.c_str(), 0777);
    mkdir(outside.c_str(), 0777);
    WriteFile(outside + "/keep.txt", "outside");
    if (c.setup) c.setup(dest, outside);
    FakeSource source(c.entries, c.end);
    ExtractReport report = ExtractAll(&source, dest + "/", c.options, EntrySelector({}));
    EXPECT_EQ(report.result, c.result);
    EXPECT_EQ(Describe(dest), c.tree);
    EXPECT_EQ(Describe(outside), std::vector<std::string>{"f keep.txt=outside"});
    EXPECT_EQ(Describe(temp.path()).size(), 2 + Describe(dest).size() + 1)
        << "something was written beside the destination";
  }
}

// The writer's temporary names are ours; an archive may still hold entries named like them,
// and none of its other entries may suffer for it.
TEST(ExtractAll, EntriesNamedLikeTemporariesBreakNothing) {
  ScopedTempDir temp;
  std::vector<FakeEntry> entries;
  for (int i = 0; i < 8; ++i) {
    entries.push_back(File(".dizor-" + std::to_string(getpid()) + "-" + std::to_string(i) + ".tmp",
                           "named like ours"));
  }
  entries.push_back(File("replaced.txt", "new"));
  entries.push_back(Link(EntryType::kSymlink, "link", "replaced.txt"));
  entries.push_back(Link(EntryType::kHardlink, "hard", "replaced.txt"));
  WriteFile(temp.Sub("replaced.txt"), "old");
  WriteFile(temp.Sub("link"), "old");
  FakeSource source(entries);
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}));
  EXPECT_EQ(report.result, ResultCode::kOk);
  EXPECT_EQ(report.extracted, entries.size());
  EXPECT_EQ(ReadFile(temp.Sub("replaced.txt")), "new");
  EXPECT_EQ(ReadFile(temp.Sub("hard")), "new");
  EXPECT_TRUE(dizor_test::IsSymlink(temp.Sub("link")));
  EXPECT_EQ(Describe(temp.path()).size(), entries.size()) << "a temporary was left behind";
}

// Names the system can no longer open by name, and trees too deep for the descriptors of a
// program: the entry fails or is written, but the entries after it always come out.
TEST(ExtractAll, DeepTreesAndLongNamesCostOnlyTheirOwnEntry) {
  ScopedTempDir temp;
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "d/";
  std::string too_long;
  for (int i = 0; i < 2100; ++i) too_long += "e/";
  FakeSource source({File(deep + "deep.txt", "deep"), File(too_long + "long.txt", "long"),
                     File(std::string(300, 'n'), "name"), File("after.txt", "after")});
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}));
  EXPECT_EQ(report.result, ResultCode::kCannotWrite);
  EXPECT_EQ(report.failed, 2u);
  EXPECT_EQ(ReadFile(temp.Sub("after.txt")), "after");
  // The deep file came out: open it level by level, as no path reaches it whole.
  int fd = open(temp.path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 2000 && fd >= 0; ++i) {
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  EXPECT_EQ(faccessat(fd, "deep.txt", F_OK, 0), 0);
  close(fd);
}

// Once the destination's file system is full, decoding stops: the entry that failed reads
// no further, and the entries after it fail at once without being read.
TEST(ExtractAll, AFullDiskEndsTheDecodingAndFailsTheRestAtOnce) {
  ScopedTempDir temp;
  dizor_test::TmpfsMount tmpfs(temp.path(), "size=1m");
  if (!tmpfs.error().empty()) GTEST_SKIP() << "cannot mount a tmpfs: " << tmpfs.error();
  class CountingSource : public FakeSource {
   public:
    using FakeSource::FakeSource;
    Status Read(void* buf, size_t size, size_t* got) override {
      ++reads;
      return FakeSource::Read(buf, size, got);
    }
    int reads = 0;
  };
  CountingSource source({File("big.bin", std::string(16 << 20, 'x')), File("a.txt", "a"),
                         File("b.txt", "b"), Link(EntryType::kSymlink, "l", "a.txt")});
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}));
  EXPECT_EQ(report.result, ResultCode::kCannotWrite);
  EXPECT_EQ(report.failed, 4u);
  EXPECT_EQ(report.extracted, 0u);
  // One megabyte of space takes two reads of the writer's one-megabyte buffer at most.
  EXPECT_LE(source.reads, 2);
  EXPECT_EQ(Describe(temp.path()), std::vector<std::string>{}) << "a partial file was left";
}

// Entries decoded on several threads come out exactly as in order: every file, the first
// failure of the archive as the result, failures reported in the archive's order, links to
// files still in flight.
TEST(ExtractAll, IndependentEntriesOnSeveralThreadsGiveTheSameResult) {
  if (UsableCores() < 2) GTEST_SKIP() << "one core: nothing is decoded on another thread";
  std::vector<FakeEntry> entries;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    entries.push_back(i == 17 || i == 41
                          ? Damaged(name, std::string(300000, 'x'))
                          : File(name, std::string(size_t(1000 * i), char('a' + i % 26))));
  }
  entries.push_back(Link(EntryType::kHardlink, "link.bin", "f59.bin"));
  ScopedTempDir temp;
  DetachingSource source(entries);
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}));
  EXPECT_GT(source.detached, 0);
  EXPECT_EQ(report.result, ResultCode::kDamaged);
  EXPECT_EQ(report.failed, 2u);
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_EQ(report.problems[0].rfind("f17.bin", 0), 0u) << report.problems[0];
  EXPECT_EQ(report.problems[1].rfind("f41.bin", 0), 0u) << report.problems[1];
  for (int i = 0; i < 60; ++i) {
    const std::string path = temp.Sub("f" + std::to_string(i) + ".bin");
    if (i == 17 || i == 41) {
      EXPECT_FALSE(Exists(path)) << path;
    } else {
      EXPECT_EQ(ReadFile(path), std::string(size_t(1000 * i), char('a' + i % 26))) << path;
    }
  }
  EXPECT_EQ(ReadFile(temp.Sub("link.bin")), ReadFile(temp.Sub("f59.bin")));
}

// A cancel with entries in flight: they are removed, what was finished stays whole.
TEST(ExtractAll, ACancelRemovesTheEntriesInFlight) {
  std::vector<FakeEntry> entries;
  for (int i = 0; i < 40; ++i)
    entries.push_back(File("f" + std::to_string(i), std::string(3 << 20, 'z')));
  ScopedTempDir temp;
  DetachingSource source(entries);
  int calls = 0;
  ExtractReport report = ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}),
                                    [&](const ExtractProgress&) { return ++calls < 6; });
  EXPECT_EQ(report.result, ResultCode::kCancelled);
  EXPECT_LT(report.extracted, entries.size());
  size_t files = 0;
  for (int i = 0; i < 40; ++i) {
    struct stat st;
    if (lstat(temp.Sub("f" + std::to_string(i)).c_str(), &st) != 0) continue;
    ++files;
    EXPECT_EQ(st.st_size, 3 << 20) << "f" << i << " was left half-written";
  }
  EXPECT_EQ(files, report.extracted);
  EXPECT_EQ(Describe(temp.path()).size(), files) << "a temporary was left behind";
}

TEST(ExtractAll, CreatesAMissingDestinationWithItsParents) {
  ScopedTempDir temp;
  FakeSource source({File("x.txt", "x")});
  ExtractReport report =
      ExtractAll(&source, temp.Sub("a/b/c/"), ExtractOptions{}, EntrySelector({}));
  EXPECT_EQ(report.result, ResultCode::kOk);
  EXPECT_EQ(ReadFile(temp.Sub("a/b/c/x.txt")), "x");
}

TEST(ExtractAll, ModeBitsWithoutSetuidAndMtime) {
  ScopedTempDir temp;
  FakeEntry e = File("run.sh", "#!/bin/sh\n");
  e.entry.mode = 04775;
  e.entry.mtime = 1000000000;
  FakeSource source({e});
  mode_t old = umask(022);
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({}));
  umask(old);
  ASSERT_EQ(report.result, ResultCode::kOk);
  struct stat st;
  ASSERT_EQ(stat(temp.Sub("run.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtime, 1000000000);
}

TEST(ExtractAll, WildcardsSelectEntries) {
  ScopedTempDir temp;
  FakeSource source({File("a.txt", "a"), File("b.md", "b"), File("d/c.txt", "c")});
  ExtractReport report =
      ExtractAll(&source, temp.path() + "/", ExtractOptions{}, EntrySelector({"*.txt"}));
  EXPECT_EQ(report.result, ResultCode::kOk);
  EXPECT_EQ(Describe(temp.path()), (std::vector<std::string>{"d d", "f a.txt=a", "f d/c.txt=c"}));
}

}  // namespace
}  // namespace engine
