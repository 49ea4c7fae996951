// One run of Dizor-K.exe for an end-to-end test: a copy of the program in a folder of its own,
// with the chosen stand-in archiver libraries beside it, started with a given command-line
// text. The libraries write the calls they receive to calls.log in that folder.
#ifndef DIZOR_TESTS_WIN32_PROGRAM_RUN_H_
#define DIZOR_TESTS_WIN32_PROGRAM_RUN_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/ui/win32/test_files.h"

class ProgramRun {
 public:
  // `libraries`: file names from bin/fake_archivers ("UNZIP32.DLL", ...).
  explicit ProgramRun(const std::vector<std::wstring>& libraries);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  const std::wstring& folder() const { return folder_.path(); }
  std::wstring settings_path() const { return folder_ / L"Dizor-K.ini"; }
  std::wstring log_path() const { return folder_ / L"calls.log"; }

  // Starts the program: its quoted path, then a blank and `arguments` unless they are empty.
  // `results`: what each library's main entry answers, as DIZOR_FAKE_RESULT_<PREFIX>=<n>.
  void Start(const std::wstring& arguments, const std::vector<std::wstring>& results = {});
  // The exit code, or nothing when the program is still running after `timeout_ms`.
  bool WaitForExit(DWORD* exit_code, int timeout_ms = 20000);
  const PROCESS_INFORMATION& process() const { return process_; }

 private:
  TempFolder folder_{L"dizor-e2e-"};
  PROCESS_INFORMATION process_ = {};
};

// Every stand-in library of the family.
std::vector<std::wstring> AllLibraries();

#endif  // DIZOR_TESTS_WIN32_PROGRAM_RUN_H_
