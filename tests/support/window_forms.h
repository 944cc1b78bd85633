#pragma once
// The five forms a main window is built on, as fakes; a fixture takes them as a base, so they
// outlive the window it holds.

#include "app/main_window.h"
#include "support/fake_form.h"

namespace orlo::test {

struct WindowForms {
  FakeForm form{"main"};
  FakeForm bmsForm{"bms_parameter"};
  FakeForm balanceForm{"balance_test"};
  FakeForm alarmForm{"alarm_parameter"};
  FakeForm calibrationForm{"current_calibration"};

  PageForms pages() { return {bmsForm, balanceForm, alarmForm, calibrationForm}; }
};

}  // namespace orlo::test
