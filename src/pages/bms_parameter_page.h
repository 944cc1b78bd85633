#pragma once
// "BMS Parameter" tab: every field of the Live data frame, the system mode and 18 alarm lamps.

#include <cstdint>

#include "link/answers.h"
#include "view/bms_parameter_ids.h"
#include "view/form_of.h"

namespace orlo {

class BmsParameterPage : public FormEventsOf<BmsId> {
 public:
  // Values kept from the last Live data frame for the data log.
  struct StoredValues {
    std::int32_t voltageDifference = 0;  // mV, max cell - min cell
    std::uint8_t systemMode = 0;         // raw byte 78
    std::uint16_t cycleCount = 0;
    std::uint32_t alarmFlags = 0;
    float dischargeCapacity = 0;  // Ah
    float chargeCapacity = 0;     // Ah
    float remainingCapacity = 0;  // Ah
  };

  explicit BmsParameterPage(Form& form);

  void updateLiveData(const LiveData& live);
  void clearValues();
  void resetAlarmLamps();
  void setAlarmLamp(std::uint8_t n, std::uint8_t flag);

  const StoredValues& stored() const { return stored_; }

 private:
  FormOf<BmsId> form_;
  StoredValues stored_;
};

}  // namespace orlo
