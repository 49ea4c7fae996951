// The ports through which the portable core reaches the outside world. A front end hands the
// core one UserInterface and one Platform; tests hand it fakes that record what was asked.
// Strings are UTF-8 throughout; adapters convert at their edge.
#ifndef DIZOR_PLATFORM_PORTS_H_
#define DIZOR_PLATFORM_PORTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class BoxIcon { kNone, kStop, kInformation };

// How the extraction of one archive goes, as a library reports it: at the start of each entry
// and after each piece written. A total of 0 means the archive does not say.
struct ExtractionProgress {
  std::string entry;
  uint64_t bytes_done = 0;
  uint64_t bytes_total = 0;
  uint64_t entries_done = 0;
  uint64_t entries_total = 0;
};

// What the front end draws or answers: message boxes, the folder picker, the end of the program.
class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal box with the OK button only; returns when it is closed.
  virtual void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) = 0;

  // The platform's folder dialog with `title` as its prompt; the chosen folder's path, or ""
  // when the user cancels or picks something that is not a file-system folder.
  virtual std::string BrowseFolder(const std::string& title) = 0;

  // Ends the program at once: no further events are handled and nothing is saved. Front ends
  // may return from here (tests do); the core does nothing more after calling it.
  virtual void EndProgram() = 0;

  // The window handle handed to the archiver libraries (null where there is no window).
  virtual void* WindowHandle() = 0;

  // The password for the encrypted entries of `archive`; `wrong` when the previous answer
  // proved wrong. Nothing when the user cancels or nobody can be asked. The libraries ask once
  // per archive.
  virtual std::optional<std::string> AskPassword(const std::string& archive, bool wrong) = 0;

  // How the extraction of `archive` goes (a front end shows it only for an archive that takes
  // a while). False when the user asks to cancel. EndProgress: the archive is done.
  virtual bool ShowProgress(const std::string& archive, const ExtractionProgress& progress) = 0;
  virtual void EndProgress() = 0;
};

// What a library asks the program during a main-entry call. Our libraries call back; the
// family's libraries on Windows ask the user and show progress themselves and never do.
class LibraryCallbacks {
 public:
  virtual ~LibraryCallbacks() = default;
  virtual std::optional<std::string> Password(bool wrong) = 0;
  virtual bool Progress(const ExtractionProgress& progress) = 0;
};

// The program's arguments as the platform hands them over. Windows gives one text that the
// program splits itself; Linux gives the arguments already split by the shell or the desktop,
// and they are used as they are: re-splitting them would turn a legal "*" or double quote in a
// Linux file name into another path.
struct CommandLine {
  bool already_split = false;
  std::string text;               // Windows: the text after the program's own name
  std::vector<std::string> args;  // Linux: one entry per archive

  bool empty() const { return already_split ? args.empty() : text.empty(); }
};

// One archiver library bound by its path. Calls throw RuntimeError 453 when the library has no
// entry point of that name.
class ArchiverLibrary {
 public:
  virtual ~ArchiverLibrary() = default;

  // `<prefix>CheckArchive(path, mode)`.
  virtual int32_t CallCheck(const std::string& entry, const std::string& ansi_path,
                            int32_t mode) = 0;

  // `<prefix>(window, command line, output buffer, buffer size)`. `output` may be null.
  // `callbacks` (may be null) answers what the library asks during the call.
  virtual int32_t CallMain(const std::string& entry, void* window, const std::string& ansi_command,
                           char* output, uint32_t output_size, LibraryCallbacks* callbacks) = 0;
};

// The operating system.
class Platform {
 public:
  virtual ~Platform() = default;

  // "\" on Windows, "/" on Linux.
  virtual char PathSeparator() const = 0;

  // Folder of the running executable, without a trailing separator except at a root.
  virtual std::string ProgramFolder() = 0;
  // The system folder of the archiver libraries, without a trailing separator.
  virtual std::string SystemFolder() = 0;
  // The design value of the destination folder box.
  virtual std::string DefaultDestinationFolder() = 0;

  // A directory lookup of one name that does not see hidden files, system files or folders:
  // the name as stored in the folder when `path` names such an ordinary file (letters may
  // differ in case), nothing otherwise.
  virtual std::optional<std::string> FindFile(const std::string& path) = 0;

  // Binds the library file at `path`; throws RuntimeError 48 when it cannot be loaded.
  virtual std::unique_ptr<ArchiverLibrary> BindLibrary(const std::string& path) = 0;

  // Text for an archiver library call, in the system's ANSI code page.
  virtual std::string ToAnsi(const std::string& utf8) = 0;

  // Opens `folder` in the file manager without waiting. False with the reason in *error when
  // the file manager cannot be started.
  virtual bool OpenFolder(const std::string& folder, std::string* error) = 0;

  // False for a library of the family that was never made for this system (there is no GCA
  // library for Linux): its absence is not worth a box at every start.
  virtual bool IsLibraryMadeFor(const std::string& file_name) = 0;

  // Where the settings file lives: the program folder, or a folder of the user's own when the
  // program folder cannot be written (a system-wide install), as Windows redirects writes
  // under Program Files. Without a trailing separator.
  virtual std::string SettingsFolder() = 0;

  // Whole-file reading, and replacing a file so that a crash leaves either the old or the new
  // content (write a temporary file in the same folder, then rename it into place).
  // Reading is bounded: false when the file cannot be read, is not a regular file (a FIFO, a
  // device, a folder: reading those could block or never end), or holds more than
  // `max_bytes`.
  virtual bool ReadFile(const std::string& path, size_t max_bytes, std::string* bytes) = 0;
  virtual bool ReplaceFile(const std::string& path, const std::string& bytes,
                           std::string* error) = 0;

  // Code page 932, the encoding of the settings file on every system. Encoding fails when a
  // character has no code page 932 form; decoding never fails.
  virtual bool Utf8ToCp932(const std::string& utf8, std::string* cp932) = 0;
  virtual std::string Cp932ToUtf8(const std::string& cp932) = 0;
};

#endif  // DIZOR_PLATFORM_PORTS_H_
