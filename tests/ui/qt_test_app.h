#pragma once
// One QApplication for a whole test program (gtest_main creates none).

#include <QApplication>

namespace orlo::test {

inline QApplication& qtApp() {
  static int argc = 1;
  static char name[] = "orlo-ui-test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

}  // namespace orlo::test
