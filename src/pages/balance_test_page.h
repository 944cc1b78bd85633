#pragma once
// "Balance Test" tab: balance condition read/set, 15 balancing lamps, manual balance test.

#include <cstdint>
#include <optional>

#include "link/answers.h"
#include "link/serial_control.h"
#include "view/balance_test_ids.h"
#include "view/form_of.h"

namespace orlo {

class BalanceTestPage : public FormEventsOf<BalanceId> {
 public:
  BalanceTestPage(Form& form, SerialControl& serial);

  // The main window's start-up duties for this page: hand over the serial control, start
  // the balance read timer (2000 ms), manual mode off, "--" in the three condition fields.
  void startUp();

  void onBalanceRead();
  void onBalanceSet();
  void onManualBalance();
  void onManualCell(int cell);

  void showBalanceCondition(const BalanceCondition& condition);
  void updateBalanceLamps(std::uint16_t flags);
  void setBalanceLamp(std::uint8_t n, std::uint8_t flag);

  bool manualMode() const { return manualMode_; }

  void onClicked(BalanceId id) override;
  void onTimer(int timerId) override;

 private:
  bool portOpen() const;
  // The value of a 16-bit voltage box, or a message box naming the field and nothing.
  std::optional<std::uint16_t> voltageField(BalanceId id, const char* name);
  void greyAllLamps();

  FormOf<BalanceId> form_;
  SerialControl& serial_;
  bool manualMode_ = false;
  bool readStatusShown_ = false;
};

}  // namespace orlo
