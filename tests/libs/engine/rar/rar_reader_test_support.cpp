#include "rar_reader_test_support.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "engine/name_decoder.h"
#include "engine/rar/rar_reader.h"
#include "engine/wildcard.h"

namespace rar_test {
namespace {

std::string Hex(int code) {
  char text[16];
  std::snprintf(text, sizeof(text), "%x", code);
  return text;
}

std::string Shown(const std::string& bytes, const engine::Entry& entry) {
  std::string name = engine::DecodeEntryName(bytes, entry.name_encoding, entry.code_page);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

}  // namespace

std::optional<std::string> ScriptedPasswords::Get(bool wrong) {
  questions_.push_back(wrong);
  if (questions_.size() <= answers_.size()) return answers_[questions_.size() - 1];
  if (repeat_last_ && !answers_.empty()) return answers_.back();
  return std::nullopt;
}

Listing ReadAll(const std::string& path, engine::PasswordSource* passwords,
                const std::function<void()>& after_open) {
  Listing listing;
  engine::ReaderContext context;
  context.passwords = passwords;
  std::unique_ptr<engine::EntrySource> source =
      engine::rar::OpenRarReader(path, context, &listing.open);
  if (source == nullptr) return listing;
  if (after_open) after_open();
  engine::Entry entry;
  std::vector<char> buf(1 << 16);
  while (source->Next(&entry, &listing.end)) {
    const std::string name = Shown(entry.name, entry);
    switch (entry.type) {
      case engine::EntryType::kDirectory:
        listing.lines.push_back("d\t" + name);
        continue;
      case engine::EntryType::kSymlink:
        listing.lines.push_back("l\t" + name + "\t" + Shown(entry.link_target, entry));
        continue;
      case engine::EntryType::kHardlink:
        listing.lines.push_back("h\t" + name + "\t" + Shown(entry.link_target, entry));
        continue;
      case engine::EntryType::kFileCopy:
        listing.lines.push_back("c\t" + name + "\t" + Shown(entry.link_target, entry));
        continue;
      case engine::EntryType::kOther:
        listing.lines.push_back("o\t" + name);
        continue;
      case engine::EntryType::kFile:
        break;
    }
    if (entry.encrypted) {
      listing.lines.push_back("E\t" + name);
      continue;
    }
    uLong crc = crc32(0L, nullptr, 0);
    size_t total = 0;
    engine::Status status;
    size_t got = 0;
    while ((status = source->Read(buf.data(), buf.size(), &got)).ok() && got > 0) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(got));
      total += got;
    }
    if (!status.ok()) {
      listing.lines.push_back("F\t" + name + "\t" + Hex(static_cast<int>(status.code)));
      continue;
    }
    char tail[48];
    std::snprintf(tail, sizeof(tail), "\t%zu\t%08lx", total, crc);
    listing.lines.push_back("f\t" + name + tail);
  }
  return listing;
}

engine::ExtractReport ExtractRar(const std::string& path, const std::string& destination,
                                 engine::PasswordSource* passwords) {
  engine::ReaderContext context;
  context.passwords = passwords;
  engine::Status status;
  std::unique_ptr<engine::EntrySource> source = engine::rar::OpenRarReader(path, context, &status);
  if (source == nullptr) {
    engine::ExtractReport report;
    report.Fail(status.code, status.message);
    return report;
  }
  return engine::ExtractAll(source.get(), destination, engine::ExtractOptions{},
                            engine::EntrySelector({}));
}

std::string CorpusRar(const std::string& name) {
  struct stat st;
  const std::string folder = std::string(DIZOR_CORPUS_DIR) + "/rar";
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  return folder + "/" + name;
}

std::vector<std::string> GoldenTree(const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(std::string(DIZOR_GOLDEN_DIR) + "/rar/" + name + ".tree");
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool PutFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string Flipped(std::string bytes, size_t at) {
  bytes[at] = static_cast<char>(~bytes[at]);
  return bytes;
}

}  // namespace rar_test
