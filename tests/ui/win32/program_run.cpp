#include "tests/ui/win32/program_run.h"

#include <stdexcept>

namespace {

// The environment variables the stand-in libraries read.
const wchar_t* const kResultVariables[] = {
    L"DIZOR_FAKE_RESULT_UNZIP", L"DIZOR_FAKE_RESULT_UNLHA", L"DIZOR_FAKE_RESULT_CAB",
    L"DIZOR_FAKE_RESULT_UNRAR", L"DIZOR_FAKE_RESULT_UNGCA",
};

}  // namespace

std::vector<std::wstring> AllLibraries() {
  return {L"UNZIP32.DLL", L"ZIP32J.DLL", L"UNLHA32.DLL", L"CAB32.DLL",
          L"UNRAR32.DLL", L"UNRAR.DLL",  L"UnGCA32.DLL"};
}

ProgramRun::ProgramRun(const std::vector<std::wstring>& libraries) {
  const std::wstring bin = TestBinFolder();
  if (!CopyFileW((bin + L"\\Dizor-K.exe").c_str(), (folder_ / L"Dizor-K.exe").c_str(), FALSE)) {
    throw std::runtime_error("Dizor-K.exe not found beside the test program");
  }
  for (const std::wstring& library : libraries) {
    if (!CopyFileW((bin + L"\\fake_archivers\\" + library).c_str(), (folder_ / library).c_str(),
                   FALSE)) {
      throw std::runtime_error("a stand-in library is missing from bin/fake_archivers");
    }
  }
}

ProgramRun::~ProgramRun() {
  if (process_.hProcess != nullptr) {
    // A run a failed test left open.
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  for (const wchar_t* variable : kResultVariables) SetEnvironmentVariableW(variable, nullptr);
  SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", nullptr);
}

void ProgramRun::Start(const std::wstring& arguments, const std::vector<std::wstring>& results) {
  for (const wchar_t* variable : kResultVariables) SetEnvironmentVariableW(variable, nullptr);
  for (const std::wstring& result : results) {
    const size_t equals = result.find(L'=');
    SetEnvironmentVariableW(result.substr(0, equals).c_str(), result.substr(equals + 1).c_str());
  }
  SetEnvironmentVariableW(L"DIZOR_FAKE_LOG", log_path().c_str());
  std::wstring command = L"\"" + (folder_ / L"Dizor-K.exe") + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  // Another folder than the program's: the libraries must be found beside the program, not in
  // the current folder.
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      TestBinFolder().c_str(), &startup, &process_)) {
    throw std::runtime_error("Dizor-K.exe could not be started");
  }
}

bool ProgramRun::WaitForExit(DWORD* exit_code, int timeout_ms) {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
    return false;
  }
  GetExitCodeProcess(process_.hProcess, exit_code);
  return true;
}
