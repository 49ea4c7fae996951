// The read-ahead wrapper must be invisible: the same entries, bytes and statuses as the
// source it wraps, however the reader reads, skips or stops.
#include "engine/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
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

// Everything a reader sees: per entry its name, the bytes it read (at most `limit`), the
// status of the last read; then the status Next() ended with.
std::string Transcript(EntrySource* source, size_t read_size, size_t limit) {
  std::string out;
  Entry e;
  Status status;
  std::vector<char> buf(read_size);
  while (source->Next(&e, &status)) {
    out += e.name + ":";
    size_t got = 0, total = 0;
    Status s;
    while (total < limit && (s = source->Read(buf.data(), buf.size(), &got)).ok() && got > 0) {
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
