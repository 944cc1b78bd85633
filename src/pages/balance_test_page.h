#pragma once
// "Balance Test" tab: balance condition read/set, 15 balancing lamps, manual balance test.

#include <cstdint>
#include <optional>

#include "view/form.h"
#include "link/answers.h"
#include "link/serial_control.h"

namespace orlo {

class MBalanceTestDlg : public FormEvents {
 public:
  explicit MBalanceTestDlg(Form& form);

  // The main window's start-up duties for this page: hand over the serial control, start
  // timer 8 (2000 ms), manual mode off, "--" in the three condition fields.
  void StartUp(SerialControl& serial);

  void OnBalanceRead();
  void OnBalanceSet();
  void OnManualBalance();
  void OnManualCell(int cell);

  void ShowBalanceCondition(const BalanceCondition& condition);
  void UpdateBalanceLamps(std::uint16_t flags);
  void SetBalanceLamp(std::uint8_t n, std::uint8_t flag);

  bool manualMode() const { return manualMode_; }

  void onClicked(int id) override;
  void onTimer(int timerId) override;

 private:
  bool portOpen() const;
  // The value of a 16-bit voltage box, or a message box naming the field and nothing.
  std::optional<std::uint16_t> voltageField(int id, const char* name);
  void greyAllLamps();

  Form& form_;
  SerialControl* serial_ = nullptr;
  bool manualMode_ = false;
  bool readStatusShown_ = false;
};

}  // namespace orlo
