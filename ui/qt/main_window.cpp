#include "ui/qt/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/form1.h"
#include "ui/qt/qt_ui.h"

namespace {

Qt::CheckState CheckStateOf(int16_t value) {
  if (value == 0) return Qt::Unchecked;
  return value == 1 ? Qt::Checked : Qt::PartiallyChecked;
}

void SyncOption(QRadioButton* radio, bool selected) {
  if (radio->isChecked() == selected) return;
  if (selected) {
    radio->setChecked(true);  // unchecks its siblings
    return;
  }
  // An auto-exclusive button refuses to be unchecked directly.
  radio->setAutoExclusive(false);
  radio->setChecked(false);
  radio->setAutoExclusive(true);
}

}  // namespace

int Pixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

MainWindow::MainWindow(Form1& form) : form_(form) {
  // The design gives pixel places for a 9-point face at 96 dots per inch; a 12-pixel Japanese
  // face keeps every caption inside its control.
  QFont face = JapaneseFont(font());
  face.setPixelSize(12);
  setFont(face);
  setFixedSize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
  Build();
  Sync();
}

void MainWindow::Build() {
  // Created in the order of the design table: frames before what they hold, and Command4
  // after Command2, so that where both are shown Command4 lies on top.
  for (const Control& control : form_.controls()) {
    QWidget* parent = control.in_window ? static_cast<QWidget*>(this) : widget(control.container);
    QWidget* w = nullptr;
    switch (control.kind) {
      case ControlKind::kFrame:
        w = new QGroupBox(parent);
        break;
      case ControlKind::kOptionButton:
        w = new QRadioButton(parent);  // the three share Frame7, so they form one group
        break;
      case ControlKind::kTextBox:
        w = new QLineEdit(parent);
        break;
      case ControlKind::kCheckBox:
        w = new QCheckBox(parent);
        break;
      case ControlKind::kButton:
        w = new QPushButton(parent);
        break;
    }
    w->setObjectName(QString::fromUtf8(control.name));
    // A frame's children are placed from the frame's outer corner, as QGroupBox places them.
    w->setGeometry(Pixels(control.left), Pixels(control.top), Pixels(control.width),
                   Pixels(control.height));
    widgets_[static_cast<size_t>(control.id)] = w;
    Connect(control, w);
  }

  // Tab order by the design's tab index; Qt skips hidden and disabled controls by itself.
  std::array<const Control*, kControlCount> order{};
  size_t n = 0;
  for (const Control& control : form_.controls()) {
    if (control.tab_index >= 0) order[n++] = &control;
  }
  std::sort(order.begin(), order.begin() + static_cast<ptrdiff_t>(n),
            [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
  for (size_t i = 0; i + 1 < n; ++i) {
    QWidget::setTabOrder(widget(order[i]->id), widget(order[i + 1]->id));
  }
}

void MainWindow::Connect(const Control& control, QWidget* w) {
  const ControlId id = control.id;
  auto click = [this, id] {
    form_.Click(id);
    AfterEvent();
  };
  switch (control.kind) {
    case ControlKind::kFrame:
      return;
    case ControlKind::kOptionButton:
      // The three share Frame7, so Qt would select one and clear the others itself; Sync draws
      // what Form1 decided instead.
      connect(static_cast<QRadioButton*>(w), &QRadioButton::clicked, this, click);
      return;
    case ControlKind::kCheckBox:
      connect(static_cast<QCheckBox*>(w), &QCheckBox::clicked, this, click);
      return;
    case ControlKind::kButton:
      connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, click);
      return;
    case ControlKind::kTextBox:
      connect(static_cast<QLineEdit*>(w), &QLineEdit::textEdited, this, [this](const QString& t) {
        form_.EditText1(t.toStdString());
        AfterEvent();
      });
      return;
  }
}

void MainWindow::Sync() {
  setWindowTitle(QString::fromStdString(form_.caption()));
  for (const Control& control : form_.controls()) {
    QWidget* w = widget(control.id);
    const QString caption = QString::fromStdString(control.caption);
    switch (control.kind) {
      case ControlKind::kFrame:
        static_cast<QGroupBox*>(w)->setTitle(caption);
        break;
      case ControlKind::kOptionButton:
        static_cast<QRadioButton*>(w)->setText(caption);
        SyncOption(static_cast<QRadioButton*>(w), control.selected);
        break;
      case ControlKind::kTextBox: {
        auto* edit = static_cast<QLineEdit*>(w);
        const QString text = QString::fromStdString(control.text);
        if (edit->text() != text) edit->setText(text);  // keeps the cursor while typing
        break;
      }
      case ControlKind::kCheckBox:
        static_cast<QCheckBox*>(w)->setText(caption);
        static_cast<QCheckBox*>(w)->setCheckState(CheckStateOf(control.value));
        break;
      case ControlKind::kButton:
        static_cast<QPushButton*>(w)->setText(caption);
        break;
    }
    w->setVisible(control.visible);
    w->setEnabled(control.enabled);
  }
}

void MainWindow::AfterEvent() {
  // The real program is gone by now; a front end under test hides the window instead.
  if (form_.ended()) {
    hide();
    return;
  }
  Sync();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  form_.CloseWindow();
  if (form_.ended()) {
    event->accept();
  } else {
    event->ignore();  // a handler is still running
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // The folder box, the option buttons and the check boxes leave Enter and Escape to their
  // window, as the push buttons do outside a QDialog. Enter with Ctrl, Alt or Shift is not the
  // plain key a user presses to confirm.
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!plain) break;
      form_.PressKey(Form1::Key::kEnter);
      AfterEvent();
      return;
    case Qt::Key_Escape:
      if (!plain) break;
      form_.PressKey(Form1::Key::kEscape);
      AfterEvent();
      return;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}
