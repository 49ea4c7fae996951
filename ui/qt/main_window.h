// The window Form1 as Qt widgets: one widget per control at its designed place, redrawn from
// Form1's state after every event it forwards. The window decides nothing itself.
#ifndef DIZOR_UI_QT_MAIN_WINDOW_H_
#define DIZOR_UI_QT_MAIN_WINDOW_H_

#include <QWidget>
#include <array>
#include <cstdint>

#include "app/controls.h"

class Form1;

// Twips of the design per logical pixel.
inline constexpr int kTwipsPerPixel = 15;
int Pixels(int twips);

class MainWindow : public QWidget {
 public:
  explicit MainWindow(Form1& form);

  // The widget that draws `id` (its object name is the control's name, "Option2(1)", ...).
  QWidget* widget(ControlId id) const { return widgets_[static_cast<size_t>(id)]; }

  // Redraws the caption and every control from Form1's state.
  void Sync();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Enter and Escape that no control took: Form1 decides which button they press.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Build();
  void Connect(const Control& control, QWidget* widget);
  // Redraws after Form1 has handled an event; once the program has ended the window goes.
  void AfterEvent();

  Form1& form_;
  std::array<QWidget*, kControlCount> widgets_{};
};

#endif  // DIZOR_UI_QT_MAIN_WINDOW_H_
