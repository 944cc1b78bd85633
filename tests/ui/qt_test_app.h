#pragma once
// One QApplication for a whole test program (gtest_main creates none). It is never destroyed:
// at exit Qt's own globals may already be gone, and tearing it down then crashes.

#include <QApplication>

namespace orlo::test {

inline QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "orlo-ui-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace orlo::test
