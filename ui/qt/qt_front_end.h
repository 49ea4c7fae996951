// The seam between the program `dizor` and its Qt module. The program itself links no Qt: an
// immediate batch that shows no box must start as fast as `dizor-cli`, and loading the Qt
// libraries alone costs several times that. The module (libdizor_qt.so, beside the program)
// is loaded on the first box, folder picker or window. This header includes no Qt header.
#ifndef DIZOR_UI_QT_QT_FRONT_END_H_
#define DIZOR_UI_QT_QT_FRONT_END_H_

#include "platform/ports.h"

class Form1;

// The Qt side: boxes, the folder picker, and the window over Form1.
class QtFrontEnd : public UserInterface {
 public:
  // Shows the window over `form` and handles its events until the program ends.
  virtual void RunWindow(Form1& form) = 0;
};

// The module's one exported function. It creates the QApplication; the program keeps the front
// end until the process ends and never deletes it.
using CreateQtFrontEndFunction = QtFrontEnd* (*)();
inline constexpr const char* kCreateQtFrontEndSymbol = "DizorCreateQtFrontEnd";
inline constexpr const char* kQtModuleFileName = "libdizor_qt.so";

#endif  // DIZOR_UI_QT_QT_FRONT_END_H_
