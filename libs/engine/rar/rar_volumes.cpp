#include "engine/rar/rar_volumes.h"

#include <cctype>
#include <string_view>

namespace engine::rar {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

size_t NameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// The dot of the extension, or npos when the file name has none.
size_t ExtensionDot(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos || dot < NameStart(path) ? std::string::npos : dot;
}

// "rar" in the case of the extension it replaces, so X.EXE goes on as X.R00.
std::string RarExtension(const std::string& path, size_t dot) {
  const bool upper =
      dot + 1 < path.size() && std::isupper(static_cast<unsigned char>(path[dot + 1])) != 0;
  return upper ? "RAR" : "rar";
}

// A self-extracting first volume, or a name without extension, goes on with ".rar" names.
std::string WithRarExtension(const std::string& path) {
  const size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) return path + ".rar";
  const std::string_view ext(path.data() + dot + 1, path.size() - dot - 1);
  if (ext.empty() || SameNoCase(ext, "exe") || SameNoCase(ext, "sfx")) {
    return path.substr(0, dot + 1) + RarExtension(path, dot);
  }
  return path;
}

// The last digit of the volume number: the last run of digits in the file name, which for
// "name.part3of10.rar"-style names is the first number after the last dot but one.
size_t NumberEnd(const std::string& path) {
  const size_t start = NameStart(path);
  size_t pos = path.size();
  while (pos > start && !IsDigit(path[pos - 1])) --pos;
  if (pos == start) return std::string::npos;
  size_t run = pos - 1;
  while (run > start && IsDigit(path[run - 1])) --run;
  // Before that run, back to the dot: an earlier number there counts instead.
  for (size_t i = run; i > start && path[i - 1] != '.'; --i) {
    if (IsDigit(path[i - 1]) && path.find('.', start) < i - 1) return i - 1;
  }
  return pos - 1;
}

std::string NextNewNumbering(const std::string& name) {
  std::string next = WithRarExtension(name);
  size_t pos = NumberEnd(next);
  if (pos == std::string::npos) return "";
  const size_t start = NameStart(next);
  for (;;) {
    if (next[pos] != '9') {
      ++next[pos];
      return next;
    }
    next[pos] = '0';
    if (pos == start || !IsDigit(next[pos - 1])) {
      next.insert(pos, 1, '1');  // part9 -> part10
      return next;
    }
    --pos;
  }
}

std::string NextOldNumbering(const std::string& name) {
  std::string next = WithRarExtension(name);
  const size_t dot = ExtensionDot(next);
  if (dot == std::string::npos) return "";
  if (next.size() - dot < 4) next = next.substr(0, dot + 1) + RarExtension(next, dot);
  if (!IsDigit(next[dot + 2]) || !IsDigit(next[dot + 3])) {
    return next.substr(0, dot + 2) + "00";  // .rar -> .r00
  }
  for (size_t pos = next.size() - 1;; --pos) {
    if (next[pos] != '9') {
      ++next[pos];
      return next;
    }
    if (pos == dot + 1) {
      next[pos] = 'a';  // .999 -> .a00
      return next;
    }
    next[pos] = '0';
  }
}

// ".partN" right before the extension.
bool HasPartNumber(const std::string& path) {
  const size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) return false;
  size_t digits = dot;
  while (digits > 0 && IsDigit(path[digits - 1])) --digits;
  return digits < dot && digits >= 5 &&
         SameNoCase(std::string_view(path.data() + digits - 5, 5), ".part");
}

}  // namespace

std::string NextVolumeName(const std::string& name, bool new_numbering) {
  return new_numbering ? NextNewNumbering(name) : NextOldNumbering(name);
}

std::string FirstVolumeName(const std::string& name, bool new_numbering) {
  if (!new_numbering) {
    const size_t dot = ExtensionDot(name);
    if (dot == std::string::npos) return "";
    return name.substr(0, dot + 1) + RarExtension(name, dot);
  }
  std::string first = name;
  size_t pos = NumberEnd(first);
  if (pos == std::string::npos) return "";
  first[pos] = '1';
  while (pos > NameStart(first) && IsDigit(first[pos - 1])) first[--pos] = '0';
  return first;
}

std::string RarVolumeName(const std::string& first, int index) {
  const size_t dot = ExtensionDot(first);
  if (dot == std::string::npos) return "";
  const std::string_view ext(first.data() + dot + 1, first.size() - dot - 1);
  if (!SameNoCase(ext, "rar") && !SameNoCase(ext, "exe")) return "";
  const bool new_numbering = HasPartNumber(first);
  std::string name = first;
  for (int i = 0; i < index && !name.empty(); ++i) name = NextVolumeName(name, new_numbering);
  return name;
}

}  // namespace engine::rar
