// RAR files read on other threads (EntrySource::DetachData), as the writer reads them on a
// machine with more than one core: every file gives exactly what it gives read in order, a
// damaged one fails alone with the same code, a solid stream is never handed out, and a
// file's decoder takes the memory the file needs, not the dictionary the header declares.
#include <gtest/gtest.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "engine/name_decoder.h"
#include "engine/rar/rar_reader.h"
#include "rar5_stream_writer.h"
#include "rar_reader_test_support.h"
#include "rar_test_archives.h"
#include "rar_test_members.h"
#include "tests/fakes/scoped_temp_dir.h"
#include "tests/fakes/test_files.h"

// The sanitizers' runtimes replace malloc (their mallinfo2 says 0) and count for themselves.
// g++ says so with __SANITIZE_ADDRESS__, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DIZOR_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define DIZOR_SANITIZER_ALLOCATOR 1
#endif
#endif
#ifdef DIZOR_SANITIZER_ALLOCATOR
// g++ ships no header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace rar_test {
namespace {

using engine::EntryData;
using engine::EntrySource;
using engine::ResultCode;
using engine::Status;

// Bytes the process has allocated and not freed (the sanitizers replace malloc, and say it
// themselves).
size_t AllocatedBytes() {
#ifdef DIZOR_SANITIZER_ALLOCATOR
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

std::string Shown(const engine::Entry& entry) {
  std::string name = engine::DecodeEntryName(entry.name, entry.name_encoding, entry.code_page);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

// The line ReadAll writes for a file: "f\tname\tsize\tcrc" or "F\tname\tcode".
std::string FileLine(const std::string& name, const Status& status, size_t total, uLong crc) {
  char tail[48];
  if (!status.ok()) {
    std::snprintf(tail, sizeof(tail), "\t%x", static_cast<unsigned>(status.code));
    return "F\t" + name + tail;
  }
  std::snprintf(tail, sizeof(tail), "\t%zu\t%08lx", total, crc);
  return "f\t" + name + tail;
}

template <typename Source>
std::string Drain(Source* source, const std::string& name, size_t chunk) {
  std::vector<char> buf(chunk);
  uLong crc = crc32(0L, nullptr, 0);
  size_t total = 0;
  size_t got = 0;
  Status status;
  while ((status = source->Read(buf.data(), buf.size(), &got)).ok() && got > 0) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(got));
    total += got;
  }
  return FileLine(name, status, total, crc);
}

// The rest of `data` after `first`, as the line ReadAll writes.
std::string LineOfRest(EntryData* data, const std::string& name, std::string first) {
  std::string all = std::move(first);
  char buf[1000];
  size_t got = 0;
  Status status;
  while ((status = data->Read(buf, sizeof(buf), &got)).ok() && got > 0) all.append(buf, got);
  const uLong crc = crc32(crc32(0L, nullptr, 0), reinterpret_cast<const Bytef*>(all.data()),
                          static_cast<uInt>(all.size()));
  return FileLine(name, status, all.size(), crc);
}

// The line of the file `name` among `lines`; "" when there is none.
std::string LineNamed(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    if (line.size() > name.size() + 2 && line.compare(2, name.size() + 1, name + "\t") == 0) {
      return line;
    }
  }
  return "";
}

// The file lines of a listing (what ReadAll wrote for entries read as files).
std::vector<std::string> FileLines(const Listing& listing) {
  std::vector<std::string> lines;
  for (const std::string& line : listing.lines) {
    if (line[0] == 'f' || line[0] == 'F' || line[0] == 'E') lines.push_back(line);
  }
  return lines;
}

struct DetachedRead {
  Status open;
  Status end;
  std::vector<std::string> lines;  // as FileLines of ReadAll
  size_t detached = 0;
};

// Reads `path` as the writer does on several cores, only with every file handed out at once:
// each file DetachData gives is read on a thread of its own, started at once while the walk
// over the entries goes on; the others are read in order on this thread.
DetachedRead ReadDetached(const std::string& path) {
  DetachedRead result;
  std::unique_ptr<EntrySource> source =
      engine::rar::OpenRarReader(path, engine::ReaderContext{}, &result.open);
  if (source == nullptr) return result;
  std::vector<std::unique_ptr<EntryData>> data;
  std::vector<std::unique_ptr<std::string>> slots;
  std::vector<std::thread> threads;
  engine::Entry entry;
  while (source->Next(&entry, &result.end)) {
    if (entry.type != engine::EntryType::kFile) continue;
    slots.push_back(std::make_unique<std::string>());
    if (entry.encrypted) {
      *slots.back() = "E\t" + Shown(entry);
      continue;
    }
    std::unique_ptr<EntryData> detached = source->DetachData();
    if (detached == nullptr) {
      *slots.back() = Drain(source.get(), Shown(entry), 1 << 16);
      continue;
    }
    ++result.detached;
    // An odd chunk size: the pieces end anywhere in the unpacker's output.
    threads.emplace_back([piece = detached.get(), slot = slots.back().get(), name = Shown(entry)] {
      *slot = Drain(piece, name, 4093);
    });
    data.push_back(std::move(detached));
  }
  for (std::thread& t : threads) t.join();
  for (const auto& slot : slots) result.lines.push_back(*slot);
  return result;
}

void ExpectSameAsInOrder(const std::string& path, const DetachedRead& got) {
  const Listing want = ReadAll(path);
  EXPECT_EQ(got.open.code, want.open.code);
  EXPECT_EQ(got.end.code, want.end.code);
  EXPECT_EQ(got.lines, FileLines(want));
}

// The corpus archives other tools wrote, each file decoded on a thread of its own. The counts
// of files handed out come from the archives' listings (7z l -slt): every file of a non-solid
// archive, none of a solid stream.
TEST(RarParallel, FilesReadOnOtherThreadsGiveWhatTheyGiveInOrder) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    size_t detached;
  };
  const Case cases[] = {
      {"test_read_format_rar5_win32.rar", 7},  // RAR5, seven compressed files
      {"test_read_format_rar5_arm.rar", 1},    // RAR5 with the ARM filter
      {"test_read_format_rar5_blake2.rar", 1},
      {"Rar.jpeg.jpg", 3},                     // RAR 2.9 behind a JPEG
      {"test_read_format_rar_filter.rar", 1},  // RAR 2.9 with its VM filters
      {"test_read_format_rar_sfx.exe", 3},     // stored and compressed, behind an SFX stub
      {"test_read_format_rar_unicode.rar", 3},
      {"test_read_format_rar.rar", 2},  // stored, beside a stored symlink
      {"Rar2.rar", 3},                  // RAR 2.0
      {"Rar15.rar", 3},                 // RAR 1.5
      {"rar3-old.rar", 2},              // stored, one file over three volumes
      // RAR 2.9 over four volumes: PPMd and LZ blocks in a 241 MB file, small files after it.
      {"test_read_format_rar_multivolume.part0001.rar", 4},
      // Solid: every file continues the stream of the one before.
      {"test_read_format_rar5_solid.rar", 0},
      {"test_read_format_rar5_multiarchive_solid.part01.rar", 0},
      {"Rar.solid.rar", 0},
      {"rar3-solid.rar", 0},
      {"unicode.rar", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    const std::string path = CorpusRar(c.archive);
    const DetachedRead got = ReadDetached(path);
    ASSERT_TRUE(got.open.ok()) << got.open.message;
    EXPECT_EQ(got.detached, c.detached);
    ExpectSameAsInOrder(path, got);
    for (const std::string& line : got.lines) EXPECT_EQ(line[0], 'f') << line;
  }
}

// The offset in `bytes` of the packed data of the file named `name` (as stored).
size_t PackedOffset(const std::string& bytes, const std::string& path, const std::string& name,
                    size_t* size) {
  for (const Member& m : ReadMembers({path})) {
    if (m.name != name || m.packed.empty()) continue;
    *size = m.packed.size();
    return bytes.find(m.packed);
  }
  return std::string::npos;
}

// One byte flipped in the packed data of one file of a non-solid archive: that file fails,
// with the code it fails with read in order, and every other file comes out right, through
// DetachData on threads and through the writer.
TEST(RarParallel, DamagedFileFailsAloneWithTheCodeItHasInOrder) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  struct Case {
    const char* archive;
    const char* member;  // as stored
    const char* shown;
  };
  const Case cases[] = {
      {"test_read_format_rar5_win32.rar", "test3.bin", "test3.bin"},
      {"Rar.jpeg.jpg", "exe\\test.exe", "exe/test.exe"},
      {"Rar2.rar", "jpg\\test.jpg", "jpg/test.jpg"},
      {"Rar15.rar", "EXE\\TEST.EXE", "EXE/TEST.EXE"},
      {"test_read_format_rar_sfx.exe", "testshortcut.lnk", "testshortcut.lnk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    dizor_test::ScopedTempDir temp;
    const std::string original = CorpusRar(c.archive);
    const std::string bytes = FileBytes(original);
    size_t size = 0;
    const size_t at = PackedOffset(bytes, original, c.member, &size);
    ASSERT_NE(at, std::string::npos);
    const std::string path = temp.Sub("damaged.rar");
    ASSERT_TRUE(PutFile(path, Flipped(bytes, at + size / 2)));

    const DetachedRead got = ReadDetached(path);
    EXPECT_GT(got.detached, 1u);
    ExpectSameAsInOrder(path, got);
    const std::vector<std::string> whole = FileLines(ReadAll(original));
    ASSERT_EQ(got.lines.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
      if (whole[i].rfind(std::string("f\t") + c.shown + "\t", 0) == 0) {
        char code[16];
        std::snprintf(code, sizeof(code), "\t%x", static_cast<unsigned>(ResultCode::kDamaged));
        EXPECT_EQ(got.lines[i], std::string("F\t") + c.shown + code);
      } else {
        EXPECT_EQ(got.lines[i], whole[i]);
      }
    }

    // The writer, which hands the same files to its workers, keeps the good ones only.
    const engine::ExtractReport report = ExtractRar(path, temp.Sub("out/"));
    EXPECT_EQ(report.result, ResultCode::kDamaged);
    EXPECT_FALSE(std::filesystem::exists(temp.Sub(std::string("out/") + c.shown)));
    for (const std::string& line : whole) {
      const size_t name_end = line.find('\t', 2);
      const std::string name = line.substr(2, name_end - 2);
      if (name == c.shown) continue;
      const std::string data = dizor_test::ReadFile(temp.Sub("out/" + name));
      const uLong crc = crc32(crc32(0L, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                              static_cast<uInt>(data.size()));
      EXPECT_EQ(FileLine(name, Status::Ok(), data.size(), crc), line);
    }
  }
}

// Bytes all over small non-solid archives flipped in turn (headers, packed data, checksums;
// every third byte, which keeps the run short): whatever each damage does, the threads' path
// reports exactly what reading in order does.
TEST(RarParallel, FlippedAnywhereEndsAsInOrder) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  dizor_test::ScopedTempDir temp;
  for (const char* archive : {"test_read_format_rar5_win32.rar", "test_read_format_rar_sfx.exe"}) {
    SCOPED_TRACE(archive);
    const std::string bytes = FileBytes(CorpusRar(archive));
    // The SFX stub is no RAR data; only the archive after it is flipped.
    const size_t start = bytes.find("Rar!\x1A\x07");
    ASSERT_NE(start, std::string::npos);
    for (size_t at = start; at < bytes.size(); at += 3) {
      SCOPED_TRACE(at);
      const std::string path = temp.Sub("flipped.rar");
      ASSERT_TRUE(PutFile(path, Flipped(bytes, at)));
      ExpectSameAsInOrder(path, ReadDetached(path));
    }
  }
}

// A set whose last volume is missing, and an archive cut inside a file: the files the reader
// already knows to be broken fail with the same codes on the threads' path as in order.
TEST(RarParallel, KnownBrokenFilesFailAsInOrder) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  dizor_test::ScopedTempDir temp;
  for (const char* part : {"rar3-old.rar", "rar3-old.r00"}) {
    ASSERT_TRUE(PutFile(temp.Sub(part), FileBytes(CorpusRar(part))));
  }
  const std::string win32 = FileBytes(CorpusRar("test_read_format_rar5_win32.rar"));
  ASSERT_TRUE(PutFile(temp.Sub("cut.rar"), win32.substr(0, win32.size() * 2 / 3)));
  struct Case {
    const char* archive;
    const char* code_seen;  // a failure the listing must show
  };
  char missing[16], damaged[16];
  std::snprintf(missing, sizeof(missing), "\t%x",
                static_cast<unsigned>(ResultCode::kMissingVolume));
  std::snprintf(damaged, sizeof(damaged), "\t%x", static_cast<unsigned>(ResultCode::kDamaged));
  const Case cases[] = {{"rar3-old.rar", missing}, {"cut.rar", damaged}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    const std::string path = temp.Sub(c.archive);
    const DetachedRead got = ReadDetached(path);
    ExpectSameAsInOrder(path, got);
    bool seen = false;
    for (const std::string& line : got.lines) {
      seen = seen || (line[0] == 'F' && line.size() > 6 &&
                      line.compare(line.size() - 5, 5, c.code_seen) == 0);
    }
    EXPECT_TRUE(seen);
  }
}

// The RAR5 win32 sample with the headers of `names` patched: a dictionary of 128 KiB << `shift`
// declared, and, with `unknown_size`, the unpacked size marked unknown (as for a file archived
// from a pipe). The data stays valid: its matches reach no further than the file.
std::string PatchedWin32(const std::vector<std::string>& names, uint64_t shift, bool unknown_size) {
  std::string bytes = FileBytes(CorpusRar("test_read_format_rar5_win32.rar"));
  for (const std::string& name : names) {
    uint64_t compression = 0, flags = 0;
    if (!ReadRar5FileHeader(bytes, name, &compression, &flags)) return "";
    compression = (compression & ~(uint64_t{0xF} << 10)) | shift << 10;
    if (unknown_size) flags |= 0x08;
    if (!PatchRar5FileHeader(&bytes, name, compression, flags)) return "";
  }
  return bytes;
}

// Moves `source` to the file named `name` and hands out its data.
std::unique_ptr<EntryData> DetachNamed(EntrySource* source, const std::string& name) {
  engine::Entry entry;
  Status status;
  while (source->Next(&entry, &status)) {
    if (entry.name == name) return source->DetachData();
  }
  return nullptr;
}

// A small file under a large declared dictionary gets a window of its own size; a file of
// unknown size gets the whole dictionary, as it may need it. Measured as what the process
// allocates once the decoder has made its first byte.
// A Unix symlink RAR 2.9-4.x style (its target as the entry's data) may be compressed; the
// reader then decodes the target on its own thread as it passes the link, while files handed
// out before would still be decoding. So no file before such a link is handed out, and the
// files after it are.
TEST(RarParallel, FilesBeforeACompressedLinkTargetStayInOrder) {
  auto compressed = [](Rar5File file) {
    rar5_test::StreamWriter w(false);
    w.StartBlock(true);
    w.Literals(file.data);
    w.EndBlock(true);
    file.packed = w.data();
    file.compression = 3 << 7;  // method 3, 128 KiB dictionary
    return file;
  };
  const Rar5File a = compressed({.name = "a.txt", .data = std::string(3000, 'a') + "end a"});
  const Rar5File b = compressed({.name = "b.txt", .data = "bee " + std::string(5000, 'b')});
  const Rar5File c = compressed({.name = "c.txt", .data = std::string(7000, 'c')});
  const Rar5File link = compressed({.name = "to-a", .data = "a.txt", .attributes = 0120777});
  const Rar5File stored_link = {.name = "to-b", .data = "b.txt", .attributes = 0120777};
  struct Case {
    const char* name;
    std::vector<Rar5File> files;
    size_t detached;
  };
  const Case kCases[] = {
      {"no link: every compressed file is handed out", {a, b, c}, 3},
      {"a compressed link keeps the files before it", {a, b, link, c}, 1},
      {"a stored link costs nothing", {a, b, stored_link, c}, 3},
      {"a compressed link first keeps nothing", {link, a, b, c}, 3},
  };
  dizor_test::ScopedTempDir temp("rar-link-order");
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.name);
    const std::string path = temp.Sub("links.rar");
    ASSERT_TRUE(PutFile(path, BuildRar5(k.files)));
    const DetachedRead got = ReadDetached(path);
    ExpectSameAsInOrder(path, got);
    EXPECT_EQ(got.detached, k.detached);
    const Listing listing = ReadAll(path);
    for (const Rar5File& f : k.files) {
      const bool is_link = f.attributes == 0120777;
      const std::string want =
          is_link ? "l\t" + f.name + "\t" + f.data
                  : FileLine(f.name, Status::Ok(), f.data.size(),
                             crc32(0L, reinterpret_cast<const Bytef*>(f.data.data()),
                                   static_cast<uInt>(f.data.size())));
      EXPECT_NE(std::find(listing.lines.begin(), listing.lines.end(), want), listing.lines.end())
          << want;
    }
  }
}

TEST(RarParallel, DecoderOfSmallFileTakesNotTheWholeDictionary) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  constexpr size_t kMiB = size_t{1} << 20;
  struct Case {
    uint64_t shift;  // the dictionary is 128 KiB << shift
    bool unknown_size;
    size_t at_least, at_most;  // what the first byte allocates
  };
  const Case cases[] = {
      {11, false, 0, 16 * kMiB},           // 256 MiB declared for 4 KiB
      {10, true, 128 * kMiB, 160 * kMiB},  // 128 MiB declared, size unknown
  };
  const std::string want =
      LineNamed(FileLines(ReadAll(CorpusRar("test_read_format_rar5_win32.rar"))), "test1.bin");
  ASSERT_FALSE(want.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shift);
    dizor_test::ScopedTempDir temp;
    const std::string path = temp.Sub("big-dictionary.rar");
    ASSERT_TRUE(PutFile(path, PatchedWin32({"test1.bin"}, c.shift, c.unknown_size)));
    Status status;
    std::unique_ptr<EntrySource> source =
        engine::rar::OpenRarReader(path, engine::ReaderContext{}, &status);
    ASSERT_NE(source, nullptr);
    std::unique_ptr<EntryData> data = DetachNamed(source.get(), "test1.bin");
    ASSERT_NE(data, nullptr);
    const size_t before = AllocatedBytes();
    char first = 0;
    size_t got = 0;
    ASSERT_TRUE(data->Read(&first, 1, &got).ok());
    ASSERT_EQ(got, 1u);
    const size_t after = AllocatedBytes();
    const size_t grown = after > before ? after - before : 0;
    EXPECT_GE(grown, c.at_least);
    EXPECT_LE(grown, c.at_most);
    // The rest of the file, and its checksum, are as without the patch.
    EXPECT_EQ(LineOfRest(data.get(), "test1.bin", std::string(1, first)), want);
  }
}

// Two files whose windows together pass our memory limit: the second is decoded only once the
// first is through, while the reader goes on handing out files meanwhile.
TEST(RarParallel, WindowsBeyondTheLimitTogetherWaitForEachOther) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  dizor_test::ScopedTempDir temp;
  const std::string path = temp.Sub("two-large.rar");
  // 128 MiB windows (unknown sizes keep the whole dictionary): two do not fit in 256 MiB.
  ASSERT_TRUE(PutFile(path, PatchedWin32({"test1.bin", "test2.bin"}, 10, true)));
  Status status;
  std::unique_ptr<EntrySource> source =
      engine::rar::OpenRarReader(path, engine::ReaderContext{}, &status);
  ASSERT_NE(source, nullptr);
  std::unique_ptr<EntryData> first = DetachNamed(source.get(), "test1.bin");
  std::unique_ptr<EntryData> second = DetachNamed(source.get(), "test2.bin");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  char byte = 0;
  size_t got = 0;
  ASSERT_TRUE(first->Read(&byte, 1, &got).ok());
  ASSERT_EQ(got, 1u);
  std::atomic<bool> second_done{false};
  std::string second_line;
  std::thread reader([&] {
    second_line = Drain(second.get(), "test2.bin", 1 << 16);
    second_done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(second_done.load()) << "decoded beside a window that leaves it no room";
  const std::string first_line = LineOfRest(first.get(), "test1.bin", std::string(1, byte));
  reader.join();
  const std::vector<std::string> whole =
      FileLines(ReadAll(CorpusRar("test_read_format_rar5_win32.rar")));
  EXPECT_EQ(first_line, LineNamed(whole, "test1.bin"));
  EXPECT_EQ(second_line, LineNamed(whole, "test2.bin"));
}

}  // namespace
}  // namespace rar_test
