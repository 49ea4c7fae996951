// The read-ahead wrapper must be invisible: the same entries, bytes and statuses as the
// source it wraps, however the reader reads, skips or stops.
#include "engine/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace engine {
namespace {

struct FakeMember {
  std::string name;
  size_t size;
  Status end;  // what Read() gives after the data
};

// A source that serves `members` and then `last` from Next(); its data is a pattern that
// tells every byte's position, handed out in pieces of at most 1000 bytes.
class FakeSource : public EntrySource {
 public:
  FakeSource(std::vector<FakeMember> members, Status last)
      : members_(std::move(members)), last_(std::move(last)) {}

  bool Next(Entry* entry, Status* status) override {
    if (++current_ >= members_.size()) {
      *status = last_;
      return false;
    }
    *status = Status::Ok();
    *entry = Entry{};
    entry->name = members_[current_].name;
    entry->size = static_cast<int64_t>(members_[current_].size);
    offset_ = 0;
    return true;
  }

  // Known up front, as a cabinet's directory says them.
  bool Totals(uint64_t* bytes, uint64_t* entries) const override {
    *bytes = 0;
    for (const FakeMember& m : members_) *bytes += m.size;
    *entries = members_.size();
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override {
    const FakeMember& m = members_[current_];
    *got = std::min({size, m.size - offset_, size_t{1000}});
    for (size_t i = 0; i < *got; ++i) {
      static_cast<char*>(buf)[i] = static_cast<char>((offset_ + i) * 7 + m.name.size());
    }
    offset_ += *got;
    return *got > 0 ? Status::Ok() : m.end;
  }

 private:
  std::vector<FakeMember> members_;
  Status last_;
  size_t current_ = static_cast<size_t>(-1);
  size_t offset_ = 0;
};

// The same source, but every member can be detached; the detached data is the same pattern.
// `alive` counts detached objects not yet destroyed.
class DetachingSource : public FakeSource {
 public:
  DetachingSource(std::vector<FakeMember> members, Status last, std::atomic<int>* alive)
      : FakeSource(members, std::move(last)), members_(std::move(members)), alive_(alive) {}

  bool Next(Entry* entry, Status* status) override {
    ++current_;
    return FakeSource::Next(entry, status);
  }

  std::unique_ptr<EntryData> DetachData() override {
    return std::make_unique<Detached>(members_[current_], alive_);
  }

 private:
  class Detached : public EntryData {
   public:
    // A source of that member alone, read from its start.
    Detached(const FakeMember& member, std::atomic<int>* alive)
        : source_({member}, Status::Ok()), alive_(alive) {
      Entry e;
      Status s;
      source_.Next(&e, &s);
      ++*alive_;
    }
    ~Detached() override { --*alive_; }
    Status Read(void* buf, size_t size, size_t* got) override {
      return source_.Read(buf, size, got);
    }

   private:
    FakeSource source_;
    std::atomic<int>* alive_;
  };

  std::vector<FakeMember> members_;
  std::atomic<int>* alive_;
  size_t current_ = static_cast<size_t>(-1);
};

// Everything a reader sees: per entry its name, the bytes it read (at most `limit`), the
// status of the last read; then the status Next() ended with. With `detach`, the data of each
// entry the source lets go is read from the detached object instead.
std::string Transcript(EntrySource* source, size_t read_size, size_t limit, bool detach = false) {
  std::string out;
  Entry e;
  Status status;
  std::vector<char> buf(read_size);
  while (source->Next(&e, &status)) {
    out += e.name + ":";
    size_t got = 0, total = 0;
    Status s;
    std::unique_ptr<EntryData> detached = detach ? source->DetachData() : nullptr;
    auto read = [&] {
      return detached != nullptr ? detached->Read(buf.data(), buf.size(), &got)
                                 : source->Read(buf.data(), buf.size(), &got);
    };
    while (total < limit && (s = read()).ok() && got > 0) {
      out.append(buf.data(), got);
      total += got;
    }
    out += "|" + std::to_string(static_cast<int>(s.code)) + ";";
  }
  return out + "end " + std::to_string(static_cast<int>(status.code)) + " " + status.message;
}

TEST(ReadAhead, SameAsTheSourceItWraps) {
  const std::vector<FakeMember> members = {
      {"empty", 0, Status::Ok()},
      {"small", 10, Status::Ok()},
      {"large", 3'000'000, Status::Ok()},  // more than the read-ahead holds
      {"crc", 2500, Status::Entry(ResultCode::kDamaged, "CRC")},
      {"after", 5, Status::Ok()},
  };
  const Status last = Status::Fatal(ResultCode::kDamaged, "cut");
  struct Case {
    const char* what;
    size_t read_size, limit;
  };
  const Case cases[] = {
      {"everything", 65536, SIZE_MAX},
      {"tiny reads", 3, SIZE_MAX},
      {"listing only", 1, 0},
      {"first bytes of each", 100, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSource direct(members, last);
    auto ahead = ReadAhead(std::make_unique<FakeSource>(members, last));
    uint64_t bytes = 0, entries = 0;
    ASSERT_TRUE(ahead->Totals(&bytes, &entries)) << "the progress would lose its totals";
    EXPECT_EQ(bytes, 3'002'515u);
    EXPECT_EQ(entries, members.size());
    EXPECT_EQ(Transcript(ahead.get(), c.read_size, c.limit),
              Transcript(&direct, c.read_size, c.limit));
  }
}

TEST(ReadAhead, LargeEntriesAreHandedOnDetachedSmallOnesReadAhead) {
  const std::vector<FakeMember> members = {
      {"small", 1999, Status::Ok()},
      {"large", 3'000'000, Status::Ok()},
      {"crc", 2500, Status::Entry(ResultCode::kDamaged, "CRC")},
      {"empty", 0, Status::Ok()},
      {"after", 2000, Status::Ok()},
  };
  const Status last = Status::Fatal(ResultCode::kDamaged, "cut");
  FakeSource direct(members, last);
  const std::string want = Transcript(&direct, 4096, SIZE_MAX);
  // A reader that takes what is detached, and one that reads everything through the wrapper
  // (the writer does so on one core): both see what the source holds.
  for (bool detach : {true, false}) {
    SCOPED_TRACE(detach);
    std::atomic<int> alive{0};
    auto ahead = ReadAhead(std::make_unique<DetachingSource>(members, last, &alive), 2000);
    EXPECT_EQ(Transcript(ahead.get(), 4096, SIZE_MAX, detach), want);
    ahead.reset();
    EXPECT_EQ(alive.load(), 0);
  }
  // Which ones: only those of at least the given size.
  std::atomic<int> alive{0};
  auto ahead = ReadAhead(std::make_unique<DetachingSource>(members, last, &alive), 2000);
  std::string detached;
  Entry e;
  Status s;
  while (ahead->Next(&e, &s)) {
    if (ahead->DetachData() != nullptr) detached += e.name + " ";
  }
  EXPECT_EQ(detached, "large crc after ");
}

TEST(ReadAhead, DetachedEntriesAheadAreBounded) {
  // Each detached entry may hold its compressed data: the worker must not detach the whole
  // archive ahead of a slow reader.
  std::vector<FakeMember> members(5000, FakeMember{"big", 100'000, Status::Ok()});
  std::atomic<int> alive{0};
  auto ahead = ReadAhead(std::make_unique<DetachingSource>(members, Status::Ok(), &alive), 1000);
  Entry e;
  Status s;
  ASSERT_TRUE(ahead->Next(&e, &s));
  int most = 0;
  for (int i = 0; i < 50; ++i) {
    most = std::max(most, alive.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_GT(most, 0);
  EXPECT_LE(most, 80);
  ahead.reset();
  EXPECT_EQ(alive.load(), 0);
}

TEST(ReadAhead, ReaderMayStopAnywhere) {
  // The worker is blocked on a full queue when the reader goes: the wrapper must end it.
  std::vector<FakeMember> members(50, FakeMember{"big", 1'000'000, Status::Ok()});
  for (int stop_after : {0, 1, 7}) {
    SCOPED_TRACE(stop_after);
    auto ahead = ReadAhead(std::make_unique<FakeSource>(members, Status::Ok()));
    Entry e;
    Status s;
    for (int i = 0; i < stop_after; ++i) ASSERT_TRUE(ahead->Next(&e, &s));
    ahead.reset();
  }
}

}  // namespace
}  // namespace engine
