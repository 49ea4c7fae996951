// The library lookup, whole-file reading, and the replacement of a file through a temporary
// file in the same folder.
#include "platform/win32/win32_api.h"

#include <algorithm>
#include <optional>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"

namespace {

// Closes a file handle when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    if (!valid()) return true;
    const bool ok = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

std::optional<std::string> Win32Platform::FindFile(const std::string& path) {
  // An exact name, no wildcard: the lookup answers with the name as stored. Hidden and system
  // files and folders do not count, as a library the user hid is not one they installed.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(win32_text::Widen(path).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(find);
  constexpr DWORD kUnseen =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  if ((data.dwFileAttributes & kUnseen) != 0) return std::nullopt;
  return win32_text::Narrow(data.cFileName);
}

bool Win32Platform::ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) {
  FileHandle file(CreateFileW(win32_text::Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  // A disk file only: a pipe or a device could block or never end.
  LARGE_INTEGER size;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) > max_bytes) {
    return false;
  }
  bytes->clear();
  char buffer[8192];
  while (bytes->size() <= max_bytes) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) return false;
    if (n == 0) break;
    bytes->append(buffer, n);
  }
  return bytes->size() <= max_bytes;
}

bool Win32Platform::ReplaceFile(const std::string& path, const std::string& bytes,
                                std::string* error) {
  // A crash at any moment leaves either the old file or the new one, complete: the new text
  // is written and flushed under a temporary name in the same folder (so the move is a rename
  // on one volume), then moved over the old file.
  const std::wstring wide_path = win32_text::Widen(path);
  const size_t slash = wide_path.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? L"." : wide_path.substr(0, slash + 1);
  wchar_t temp[MAX_PATH + 16];
  if (GetTempFileNameW(folder.c_str(), L"dzk", 0, temp) == 0) {
    *error = LastErrorText();
    return false;
  }
  FileHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  bool ok = file.valid() && WriteAll(file.get(), bytes) && FlushFileBuffers(file.get()) != 0;
  DWORD err = GetLastError();
  if (!file.Close() && ok) {
    ok = false;
    err = GetLastError();
  }
  if (ok &&
      !MoveFileExW(temp, wide_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    err = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temp);
    *error = LastErrorText(err);
  }
  return ok;
}
