#pragma once
// "BMS Parameter" tab: every field of the Live data frame, the system mode and 18 alarm lamps.

#include <cstdint>

#include "link/answers.h"
#include "view/bms_parameter_ids.h"
#include "view/form_of.h"

namespace orlo {

class BmsParameterPage : public FormEventsOf<BmsId> {
 public:
  explicit BmsParameterPage(Form& form);

  void updateLiveData(const LiveData& live);
  void clearValues();
  void resetAlarmLamps();
  void setAlarmLamp(std::uint8_t n, std::uint8_t flag);

 private:
  FormOf<BmsId> form_;
};

}  // namespace orlo
