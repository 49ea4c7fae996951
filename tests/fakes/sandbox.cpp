#include "tests/fakes/sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

namespace dizor_test {
namespace {

// Names of the user's things in the destination; no seed archive holds entries so named.
constexpr char kOwnFile[] = "own-file-7f3a.dat";
constexpr char kOwnLink[] = "own-link-7f3a";
constexpr char kOwnFileContent[] = "the user's own file, which extraction must not touch\n";

std::string Describe(const std::string& path, const struct stat& st) {
  std::string kind;
  std::string content;
  if (S_ISLNK(st.st_mode)) {
    kind = "link";
    std::vector<char> target(static_cast<size_t>(st.st_size) + 1);
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n >= 0) content.assign(target.data(), static_cast<size_t>(n));
  } else if (S_ISDIR(st.st_mode)) {
    kind = "dir";
  } else if (S_ISREG(st.st_mode)) {
    kind = "file";
    std::ifstream in(path, std::ios::binary);
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    content =
        std::to_string(content.size()) + ":" + std::to_string(std::hash<std::string>()(content));
  } else {
    kind = "other";
  }
  return kind + " " + std::to_string(st.st_mode & 07777) + " " + content;
}

std::vector<std::string> ChildNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

void Walk(const std::string& root, const std::string& relative,
          std::map<std::string, std::string>* out) {
  for (const std::string& name : ChildNames(root + relative)) {
    const std::string rel = relative + "/" + name;
    struct stat st;
    if (lstat((root + rel).c_str(), &st) != 0) continue;
    (*out)[rel] = Describe(root + rel, st);
    if (S_ISDIR(st.st_mode)) Walk(root, rel, out);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Whether a link at `link` (a path relative to the destination, "/a/b") with `target`
// points into the destination, read as text: ".." leaves the folder above it. The writer
// allows ".." only at the start of a target, so reading the text is enough.
bool LinkStaysInside(const std::string& link, const std::string& target) {
  if (target.empty() || target[0] == '/') return false;
  std::vector<std::string> parts;
  auto walk = [&parts](const std::string& path, bool drop_last) {
    size_t start = 0;
    std::vector<std::string> pieces;
    while (start <= path.size()) {
      size_t slash = path.find('/', start);
      if (slash == std::string::npos) slash = path.size();
      pieces.push_back(path.substr(start, slash - start));
      start = slash + 1;
    }
    if (drop_last && !pieces.empty()) pieces.pop_back();
    for (const std::string& piece : pieces) {
      if (piece.empty() || piece == ".") continue;
      if (piece == "..") {
        if (parts.empty()) return false;
        parts.pop_back();
      } else {
        parts.push_back(piece);
      }
    }
    return true;
  };
  return walk(link, true) && walk(target, false);
}

std::string ParentFolder(const std::string& parent) {
  if (!parent.empty()) return parent;
  for (const char* var : {"DIZOR_FUZZ_TMP", "TMPDIR"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

}  // namespace

std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  Walk(root, "", &out);
  return out;
}

Sandbox::Sandbox(const std::string& parent)
    : top_("dizor-sandbox", ParentFolder(parent)), root_(top_.path() + "/w") {
  mkdir(root_.c_str(), 0755);
  mkdir((root_ + "/in").c_str(), 0755);
  mkdir((root_ + "/outside_dir").c_str(), 0755);
  WriteBytes(root_ + "/outside.txt", "outside the destination\n");
  WriteBytes(root_ + "/outside_dir/victim.txt", "a file a link could lead to\n");
  symlink("/etc", (root_ + "/outside_dir/etc").c_str());
  mkdir((root_ + "/dest").c_str(), 0755);
  outside_ = Snapshot(root_);
}

std::string Sandbox::PlaceArchive(const std::string& file_name, const std::string& bytes) {
  RemoveTree(root_ + "/in");
  mkdir((root_ + "/in").c_str(), 0755);
  const std::string path = root_ + "/in/" + file_name;
  WriteBytes(path, bytes);
  ResetDestination();
  return path;
}

void Sandbox::ResetDestination() {
  const std::string dest = root_ + "/dest";
  mkdir(dest.c_str(), 0755);
  chmod(dest.c_str(), 0755);
  for (const std::string& name : ChildNames(dest)) RemoveTree(dest + "/" + name);
  WriteBytes(dest + "/" + kOwnFile, kOwnFileContent);
  symlink("../outside_dir", (dest + "/" + kOwnLink).c_str());
}

std::string Sandbox::Verify() const {
  // Only the folder `w` may exist in the mkdtemp folder: an entry that climbed out of the
  // destination by one more level than `w` would land there.
  std::map<std::string, std::string> top = Snapshot(top_.path());
  for (const auto& [path, what] : top) {
    if (path != "/w" && path.rfind("/w/", 0) != 0) return "written beside the sandbox: " + path;
  }
  std::map<std::string, std::string> now = Snapshot(root_);
  std::map<std::string, std::string> outside;
  for (const auto& [path, what] : now) {
    if (path.rfind("/dest/", 0) == 0 || path.rfind("/in/", 0) == 0) continue;
    outside[path] = what;
  }
  std::map<std::string, std::string> expected;
  for (const auto& [path, what] : outside_) {
    if (path.rfind("/dest/", 0) == 0 || path.rfind("/in/", 0) == 0) continue;
    expected[path] = what;
  }
  for (const auto& [path, what] : outside) {
    auto it = expected.find(path);
    if (it == expected.end()) return "new outside the destination: " + path;
    if (it->second != what) return "changed outside the destination: " + path;
  }
  for (const auto& [path, what] : expected) {
    if (outside.count(path) == 0) return "removed outside the destination: " + path;
  }
  for (const auto& [path, what] : now) {
    if (path.rfind("/dest/", 0) != 0 || path == std::string("/dest/") + kOwnLink) continue;
    if (what.rfind("link ", 0) != 0) continue;
    // "link <mode> <target>"
    const std::string target = what.substr(what.find(' ', 5) + 1);
    if (!LinkStaysInside(path.substr(5), target)) {
      return "a link in the destination leads out of it: " + path + " -> " + target;
    }
  }
  struct stat st;
  if (lstat((root_ + "/in").c_str(), &st) != 0) return "the archive's folder is gone";
  std::ifstream own(root_ + "/dest/" + kOwnFile, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(own), std::istreambuf_iterator<char>()};
  if (content != kOwnFileContent) return "the user's file in the destination changed";
  char target[64] = {};
  const ssize_t n = readlink((root_ + "/dest/" + kOwnLink).c_str(), target, sizeof target - 1);
  if (n < 0 || std::string(target, static_cast<size_t>(n)) != "../outside_dir") {
    return "the user's link in the destination changed";
  }
  return "";
}

}  // namespace dizor_test
