// The entry point of libdizor_qt.so, which the program loads on its first box, folder picker
// or window. Everything else in the module stays hidden.
#include <QApplication>
#include <QIcon>
#include <QLocale>

#include "ui/qt/qt_front_end.h"
#include "ui/qt/qt_ui.h"

namespace {

// Only the program's name goes to Qt: the user's archive names must never be taken for Qt
// options such as "-style" or "-reverse".
int qt_argc = 1;
char qt_program_name[] = "dizor";
char* qt_argv[] = {qt_program_name, nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) QtFrontEnd* DizorCreateQtFrontEnd() {
  if (QApplication::instance() == nullptr) {
    // Lives until the process ends, like everything else once a window has been asked for.
    new QApplication(qt_argc, qt_argv);
    QApplication::setApplicationName(QStringLiteral("dizor"));
    // Lets the desktop match the window to dizor.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("dizor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dizor/dizor.png")));
    QApplication::setFont(JapaneseFont(QApplication::font()));
    InstallQtTranslations(QLocale::system().uiLanguages());
  }
  return new QtUi();
}

// Keeps the signature in step with what the program looks up.
[[maybe_unused]] static constexpr CreateQtFrontEndFunction kCheckedSignature =
    &DizorCreateQtFrontEnd;
