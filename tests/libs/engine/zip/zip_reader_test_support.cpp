#include "engine/zip/zip_reader_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "engine/byte_order.h"
#include "engine/legacy_names.h"

namespace zip_reader_test {
namespace {

using engine::PutLe;

constexpr uint32_t kSaturated = 0xFFFFFFFF;

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

void PutExtra(std::string* out, uint16_t id, const std::string& data) {
  PutLe(out, id, 2);
  PutLe(out, data.size(), 2);
  out->append(data);
}

}  // namespace

std::string Deflate(const std::string& data) {
  z_stream z = {};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string MakeZip(const std::vector<MadeEntry>& entries, const MadeArchive& options) {
  std::string archive;
  std::string directory;
  for (const MadeEntry& e : entries) {
    const std::string& packed = e.method == 0 && e.packed.empty() ? e.plain : e.packed;
    const uint32_t crc = e.crc.has_value() ? *e.crc : Crc(e.plain);
    const bool zip64 = e.zip64_unpacked || e.zip64_packed;
    const uint16_t flags = static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0));
    const uint64_t offset = archive.size();

    std::string local_extra = e.local_extra;
    if (zip64) {
      std::string z;
      PutLe(&z, e.descriptor ? 0 : e.plain.size(), 8);
      PutLe(&z, e.descriptor ? 0 : packed.size(), 8);
      std::string with;
      PutExtra(&with, 1, z);
      local_extra = with + local_extra;
    }
    PutLe(&archive, 0x04034B50, 4);
    PutLe(&archive, zip64 ? 45 : 20, 2);
    PutLe(&archive, flags, 2);
    PutLe(&archive, e.method, 2);
    PutLe(&archive, e.dos_time, 4);
    PutLe(&archive, e.descriptor ? 0 : crc, 4);
    PutLe(&archive, zip64 ? kSaturated : e.descriptor ? 0 : packed.size(), 4);
    PutLe(&archive, zip64 ? kSaturated : e.descriptor ? 0 : e.plain.size(), 4);
    PutLe(&archive, e.name.size(), 2);
    PutLe(&archive, e.local_extra_length.value_or(static_cast<uint16_t>(local_extra.size())), 2);
    archive += e.name + local_extra + packed;
    if (e.descriptor) {
      const int width = e.wide_descriptor.value_or(zip64) ? 8 : 4;
      if (e.descriptor_signature) PutLe(&archive, 0x08074B50, 4);
      PutLe(&archive, crc, 4);
      PutLe(&archive, packed.size(), width);
      PutLe(&archive, e.plain.size(), width);
    }

    std::string central_extra;
    if (zip64) {
      std::string z;
      if (e.zip64_unpacked) PutLe(&z, e.plain.size(), 8);
      if (e.zip64_packed) PutLe(&z, packed.size(), 8);
      PutExtra(&central_extra, 1, z);
    }
    central_extra += e.central_extra;
    PutLe(&directory, 0x02014B50, 4);
    PutLe(&directory, e.made_by, 2);
    PutLe(&directory, zip64 ? 45 : 20, 2);
    PutLe(&directory, flags, 2);
    PutLe(&directory, e.method, 2);
    PutLe(&directory, e.dos_time, 4);
    PutLe(&directory, crc, 4);
    PutLe(&directory, e.zip64_packed ? kSaturated : packed.size(), 4);
    PutLe(&directory, e.zip64_unpacked ? kSaturated : e.plain.size(), 4);
    PutLe(&directory, e.name.size(), 2);
    PutLe(&directory, central_extra.size(), 2);
    PutLe(&directory, 0, 2);  // comment
    PutLe(&directory, 0, 2);  // disk
    PutLe(&directory, 0, 2);  // internal attributes
    PutLe(&directory, e.external_attributes, 4);
    PutLe(&directory, offset, 4);
    directory += e.name + central_extra;
  }
  const uint64_t directory_offset = archive.size();
  archive += directory;
  if (options.zip64_end) {
    const uint64_t record = archive.size();
    PutLe(&archive, 0x06064B50, 4);
    PutLe(&archive, 44, 8);
    PutLe(&archive, 45, 2);
    PutLe(&archive, 45, 2);
    PutLe(&archive, 0, 4);
    PutLe(&archive, 0, 4);
    PutLe(&archive, entries.size(), 8);
    PutLe(&archive, entries.size(), 8);
    PutLe(&archive, directory.size(), 8);
    PutLe(&archive, directory_offset, 8);
    PutLe(&archive, 0x07064B50, 4);
    PutLe(&archive, 0, 4);
    PutLe(&archive, record, 8);
    PutLe(&archive, 1, 4);
  }
  PutLe(&archive, 0x06054B50, 4);
  PutLe(&archive, 0, 4);
  const uint64_t count = options.zip64_end ? 0xFFFF : entries.size();
  PutLe(&archive, count, 2);
  PutLe(&archive, count, 2);
  PutLe(&archive, options.zip64_end ? kSaturated : directory.size(), 4);
  PutLe(&archive, options.zip64_end ? kSaturated : directory_offset, 4);
  PutLe(&archive, options.comment.size(), 2);
  archive += options.comment;
  return options.prefix + archive;
}

std::vector<ReadResult> ReadArchive(const std::string& path, engine::Status* open_status,
                                    engine::PasswordSource* passwords, engine::Status* end_status) {
  std::vector<ReadResult> results;
  engine::ReaderContext context;
  context.passwords = passwords;
  auto archive = engine::zip::ZipArchive::Open(path, context, open_status);
  if (archive == nullptr) return results;
  for (size_t i = 0; i < archive->size(); ++i) {
    ReadResult r;
    r.entry = archive->entry(i);
    if (r.entry.type == engine::EntryType::kSymlink) {
      r.status = archive->ReadLinkTarget(i, &r.data);
    } else if (r.entry.type == engine::EntryType::kFile) {
      auto reader = archive->OpenEntry(i, &r.status);
      char buffer[1 << 16];
      while (reader != nullptr) {
        size_t got = 0;
        r.status = reader->Read(buffer, sizeof(buffer), &got);
        if (!r.status.ok() || got == 0) break;
        r.data.append(buffer, got);
      }
    }
    results.push_back(std::move(r));
  }
  if (end_status != nullptr) *end_status = archive->end_status();
  return results;
}

std::vector<std::string> TreeLines(const std::vector<ReadResult>& results) {
  std::set<std::string> lines;
  auto add_parents = [&](const std::string& path) {
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      lines.insert("d\t" + path.substr(0, slash));
    }
  };
  for (const ReadResult& r : results) {
    if (!r.status.ok()) continue;
    std::string name = r.entry.name;
    if (r.entry.name_encoding == engine::NameEncoding::kNative) {
      name = engine::DecodeName(name, r.entry.code_page != 0 ? r.entry.code_page : 932);
    }
    while (!name.empty() && name.back() == '/') name.pop_back();
    add_parents(name);
    switch (r.entry.type) {
      case engine::EntryType::kDirectory:
        lines.insert("d\t" + name);
        break;
      case engine::EntryType::kSymlink:
        lines.insert("l\t" + name + "\t" + r.data);
        break;
      default: {
        char crc[16];
        std::snprintf(crc, sizeof(crc), "%08x", Crc(r.data));
        lines.insert("f\t" + name + "\t" + std::to_string(r.data.size()) + "\t" + crc);
      }
    }
  }
  return {lines.begin(), lines.end()};
}

std::optional<std::string> ScriptedPasswords::Get(bool wrong) {
  questions_.push_back(wrong);
  if (questions_.size() > answers_.size()) return std::nullopt;
  return answers_[questions_.size() - 1];
}

}  // namespace zip_reader_test
