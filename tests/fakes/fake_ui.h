// A UserInterface that records every box, answers the folder picker from a script, and
// records the end of the program instead of ending it.
#ifndef DIZOR_TESTS_FAKES_FAKE_UI_H_
#define DIZOR_TESTS_FAKES_FAKE_UI_H_

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ports.h"

struct RecordedBox {
  std::string prompt;
  BoxIcon icon;
  std::string title;
};

class FakeUi : public UserInterface {
 public:
  void MsgBox(const std::string& prompt, BoxIcon icon, const std::string& title) override {
    boxes.push_back({prompt, icon, title});
    // What the user does while the box is open (a real front end keeps delivering events).
    if (while_box_open) while_box_open();
  }
  std::string BrowseFolder(const std::string& title) override {
    browse_titles.push_back(title);
    if (browse_answers.empty()) return "";
    std::string answer = browse_answers.front();
    browse_answers.pop_front();
    return answer;
  }
  void EndProgram() override { ++end_calls; }
  void* WindowHandle() override { return &window_; }
  std::optional<std::string> AskPassword(const std::string& archive, bool wrong) override {
    password_questions.emplace_back(archive, wrong);
    if (password_answers.empty()) return std::nullopt;
    std::optional<std::string> answer = password_answers.front();
    password_answers.pop_front();
    return answer;
  }
  bool ShowProgress(const std::string& archive, const ExtractionProgress& progress) override {
    progress_shown.emplace_back(archive, progress.entry);
    return !cancel_at_progress || progress_shown.size() < *cancel_at_progress;
  }
  void EndProgress() override { ++progress_ends; }

  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const RecordedBox& box : boxes) titles.push_back(box.title);
    return titles;
  }
  std::vector<std::string> Prompts() const {
    std::vector<std::string> prompts;
    for (const RecordedBox& box : boxes) prompts.push_back(box.prompt);
    return prompts;
  }

  std::vector<RecordedBox> boxes;
  std::function<void()> while_box_open;
  std::deque<std::string> browse_answers;
  std::vector<std::string> browse_titles;
  int end_calls = 0;
  std::deque<std::optional<std::string>> password_answers;  // nothing: the user cancels
  std::vector<std::pair<std::string, bool>> password_questions;
  std::vector<std::pair<std::string, std::string>> progress_shown;  // archive, entry
  std::optional<size_t> cancel_at_progress;  // the user cancels at this progress step (1-based)
  int progress_ends = 0;

 private:
  int window_ = 0;
};

#endif  // DIZOR_TESTS_FAKES_FAKE_UI_H_
