// Files and folders for the Windows tests: a temporary folder removed with everything in it,
// whole-file reading and writing by wide path, and the folder the test program runs from.
#ifndef DIZOR_TESTS_WIN32_TEST_FILES_H_
#define DIZOR_TESTS_WIN32_TEST_FILES_H_

#include <string>

class TempFolder {
 public:
  // A new, empty folder under the user's temporary folder, named `prefix` and a number.
  explicit TempFolder(const std::wstring& prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Without a trailing backslash.
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Empty when the file cannot be read; `exists` (when given) tells the two apart.
std::string ReadBytes(const std::wstring& path, bool* exists = nullptr);
bool FileExists(const std::wstring& path);
// Removes a folder and everything in it.
void RemoveTree(const std::wstring& path);
// The folder of the running test program (build/bin), without a trailing backslash.
std::wstring TestBinFolder();
// Narrow text of a wide string that holds ASCII only (temporary folder paths).
std::string Ascii(const std::wstring& text);

#endif  // DIZOR_TESTS_WIN32_TEST_FILES_H_
