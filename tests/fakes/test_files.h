// Small file and shell helpers for tests that run programs on real files.
#ifndef DIZOR_TESTS_FAKES_TEST_FILES_H_
#define DIZOR_TESTS_FAKES_TEST_FILES_H_

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// `s` as one single-quoted word for /bin/sh.
inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

#endif  // DIZOR_TESTS_FAKES_TEST_FILES_H_
