// The window Form1 as Qt widgets: one widget per control at its designed place, redrawn from
// Form1's state after every event it forwards. The window decides nothing itself.
#ifndef DIZOR_UI_QT_MAIN_WINDOW_H_
#define DIZOR_UI_QT_MAIN_WINDOW_H_

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/controls.h"

class Form1;
class UserInterface;

// Twips of the design per logical pixel.
inline constexpr int kTwipsPerPixel = 15;
int Pixels(int twips);

class MainWindow : public QWidget {
 public:
  // `boxes` shows the report of a run-time error that escapes a handler.
  MainWindow(Form1& form, UserInterface& boxes);

  // The widget that draws `id` (its object name is the control's name, "Option2(1)", ...).
  QWidget* widget(ControlId id) const { return widgets_[static_cast<size_t>(id)]; }

  // Redraws the caption and every control from Form1's state.
  void Sync();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build();
  void Connect(const Control& control, QWidget* widget);
  // Runs one of Form1's handlers, then redraws. A run-time error that escapes it is reported
  // and ends the program, as nothing in the core catches errors after start-up.
  void Forward(const std::function<void()>& handler);
  void ReportAndEnd(int32_t number, const std::string& description);

  Form1& form_;
  UserInterface& boxes_;
  std::array<QWidget*, kControlCount> widgets_{};
  bool busy_ = false;  // a handler is running (a modal box may spin the event loop)
};

#endif  // DIZOR_UI_QT_MAIN_WINDOW_H_
