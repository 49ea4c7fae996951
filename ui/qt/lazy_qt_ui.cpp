#include "ui/qt/lazy_qt_ui.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <utility>

#include "support/texts.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/qt_front_end.h"

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void ExitNow(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}

LazyQtUi::LazyQtUi(std::string module_path, std::ostream& text_out, void (*exit)(int),
                   std::function<std::string()> display_problem)
    : module_path_(std::move(module_path)),
      text_out_(text_out),
      text_(text_out),
      exit_(exit),
      display_problem_(std::move(display_problem)) {}

QtFrontEnd* LazyQtUi::FrontEnd() {
  if (tried_) return front_end_;
  tried_ = true;
  // Without a display that answers, Qt would abort the process at its first window; the boxes
  // go to text instead and the batch goes on.
  failure_ = display_problem_ ? display_problem_() : DisplayProblem();
  if (!failure_.empty()) return nullptr;
  // RTLD_LOCAL: the module's copy of the core must not stand in for the program's own.
  void* module = dlopen(module_path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    failure_ = std::string(texts::kQtModuleMissing) + (why != nullptr ? why : module_path_);
    return nullptr;
  }
  auto create = reinterpret_cast<CreateQtFrontEndFunction>(dlsym(module, kCreateQtFrontEndSymbol));
  if (create == nullptr) {
    failure_ = std::string(texts::kQtModuleMissing) + module_path_;
    return nullptr;
  }
  front_end_ = create();
  return front_end_;
}

void LazyQtUi::MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) {
  if (QtFrontEnd* qt = FrontEnd()) {
    qt->MsgBox(prompt, icon, title);
  } else {
    text_.MsgBox(prompt, icon, title);
  }
}

std::string LazyQtUi::BrowseFolder(const std::string& title) {
  QtFrontEnd* qt = FrontEnd();
  return qt != nullptr ? qt->BrowseFolder(title) : std::string();
}

std::optional<std::string> LazyQtUi::AskPassword(const std::string& archive, bool wrong) {
  QtFrontEnd* qt = FrontEnd();
  std::optional<std::string> answer =
      qt != nullptr ? qt->AskPassword(archive, wrong) : text_.AskPassword(archive, wrong);
  // The time the user spent typing is not time the archive took.
  if (archive_started_ms_ >= 0) archive_started_ms_ = NowMs();
  return answer;
}

bool LazyQtUi::ShowProgress(const std::string& archive, const ExtractionProgress& progress) {
  constexpr int64_t kShowAfterMs = 500;
  const int64_t now = NowMs();
  if (archive_started_ms_ < 0) archive_started_ms_ = now;
  if (!progress_shown_ && now - archive_started_ms_ < kShowAfterMs) return true;
  QtFrontEnd* qt = FrontEnd();
  if (qt == nullptr) return text_.ShowProgress(archive, progress);
  progress_shown_ = true;
  return qt->ShowProgress(archive, progress);
}

void LazyQtUi::EndProgress() {
  if (progress_shown_ && front_end_ != nullptr) front_end_->EndProgress();
  text_.EndProgress();
  progress_shown_ = false;
  archive_started_ms_ = -1;
}

void LazyQtUi::EndProgram() { exit_(exit_status_ ? exit_status_() : kDizorExitOk); }

void* LazyQtUi::WindowHandle() {
  // Asking for the handle never loads Qt: without a window there is none.
  return front_end_ != nullptr ? front_end_->WindowHandle() : nullptr;
}

bool LazyQtUi::RunWindow(Form1& form) {
  QtFrontEnd* qt = FrontEnd();
  if (qt == nullptr) {
    text_out_ << texts::kQtNoWindow << ' ' << failure_ << '\n';
    text_out_.flush();
    return false;
  }
  qt->RunWindow(form);
  return true;
}
