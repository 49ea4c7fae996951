#include "engine/cab/cab_names.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/legacy_names.h"
#include "engine/name_decoder.h"

namespace engine::cab {
namespace {

// libarchive turns the backslashes of a name into slashes where it can tell they are no part
// of a character; the record keeps them.
bool SameName(std::string_view from_libarchive, std::string_view record) {
  if (from_libarchive.size() != record.size()) return false;
  for (size_t i = 0; i < record.size(); ++i) {
    const char a = from_libarchive[i], b = record[i];
    if (a != b && !(a == '/' && b == '\\')) return false;
  }
  return true;
}

class NamedSource : public EntrySource {
 public:
  NamedSource(std::unique_ptr<EntrySource> inner, const CabinetDirectory& dir)
      : inner_(std::move(inner)), code_page_(CodePageOfNames(dir)) {
    for (const CabFile& f : dir.files) records_.push_back({f.name, f.attribs});
  }

  bool Next(Entry* entry, Status* status) override {
    if (!inner_->Next(entry, status)) return false;
    // Should the entries ever not follow the records, a name is judged as unmarked rather
    // than taken for another record's.
    const bool same = index_ < records_.size() && SameName(entry->name, records_[index_].name);
    const bool utf8 = same && IsMarkedUtf8(records_[index_].attribs, entry->name);
    ++index_;
    entry->name_encoding = utf8 ? NameEncoding::kUnicode : NameEncoding::kNative;
    entry->code_page = utf8 ? 0 : code_page_;
    return true;
  }

  Status Read(void* buf, size_t size, size_t* got) override { return inner_->Read(buf, size, got); }

 private:
  struct Record {
    std::string name;
    uint16_t attribs;
  };
  std::unique_ptr<EntrySource> inner_;
  std::vector<Record> records_;
  size_t index_ = 0;
  int code_page_;
};

}  // namespace

bool IsMarkedUtf8(uint16_t attribs, std::string_view name) {
  return (attribs & kAttribUtf8Name) != 0 && IsValidUtf8(name);
}

int CodePageOfNames(const CabinetDirectory& dir) {
  std::vector<std::string_view> names;
  for (const CabFile& f : dir.files) {
    if (!IsMarkedUtf8(f.attribs, f.name)) names.emplace_back(f.name);
  }
  return names.empty() ? 0 : ChooseLegacyCodePage(names);
}

std::unique_ptr<EntrySource> WithCabinetNames(std::unique_ptr<EntrySource> inner,
                                              const CabinetDirectory& dir) {
  return std::make_unique<NamedSource>(std::move(inner), dir);
}

}  // namespace engine::cab
