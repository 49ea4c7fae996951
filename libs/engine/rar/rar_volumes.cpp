#include "engine/rar/rar_volumes.h"

#include <unistd.h>

#include <cctype>
#include <string_view>

namespace engine {
namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i]) {
      return false;
    }
  }
  return true;
}

// Finds ".partNNN" right before the extension; returns the position of the first digit.
bool FindPartNumber(const std::string& name, size_t* digits_begin, size_t* digits_end) {
  if (!EndsWithNoCase(name, ".rar")) return false;
  size_t end = name.size() - 4;
  size_t begin = end;
  while (begin > 0 && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
  if (begin == end || begin < 5) return false;
  std::string_view before(name.data() + begin - 5, 5);
  if (!EndsWithNoCase(before, ".part")) return false;
  *digits_begin = begin;
  *digits_end = end;
  return true;
}

}  // namespace

std::string RarVolumeName(const std::string& first, int index) {
  size_t begin = 0, end = 0;
  if (FindPartNumber(first, &begin, &end)) {
    long number = std::stol(first.substr(begin, end - begin)) + index;
    std::string digits = std::to_string(number);
    if (digits.size() < end - begin) digits.insert(0, end - begin - digits.size(), '0');
    return first.substr(0, begin) + digits + first.substr(end);
  }
  if (!EndsWithNoCase(first, ".rar") && !EndsWithNoCase(first, ".exe")) return "";
  if (index < 1) return first;
  // .r00 to .r99, then .s00 to .s99 and so on; keep the case of the given extension.
  bool upper = std::isupper(static_cast<unsigned char>(first[first.size() - 3])) != 0;
  int n = index - 1;
  char letter = static_cast<char>((upper ? 'R' : 'r') + n / 100);
  char ext[5] = {'.', letter, static_cast<char>('0' + (n % 100) / 10),
                 static_cast<char>('0' + n % 10), 0};
  return first.substr(0, first.size() - 4) + ext;
}

std::vector<std::string> FindRarVolumes(const std::string& first) {
  std::vector<std::string> volumes{first};
  for (int index = 1; index < 1000; ++index) {
    std::string next = RarVolumeName(first, index);
    if (next.empty() || access(next.c_str(), F_OK) != 0) break;
    volumes.push_back(std::move(next));
  }
  return volumes;
}

}  // namespace engine
