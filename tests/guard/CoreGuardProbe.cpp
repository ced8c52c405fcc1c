// Built only by the core_guard test, which expects this to fail: a core
// library that reaches for Qt Gui or Widgets must not compile.
#include <QtGui/QColor>
#include <QtWidgets/QWidget>
