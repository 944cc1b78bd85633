#pragma once
// What a rule reads from a live data frame, and the words of its notices. Values come straight
// from the frame's integer fields (a current of 20009 mA is 20.009 A, never a float's text).

#include <cstddef>
#include <string>
#include <string_view>

#include "core/alert_rule.h"
#include "link/answers.h"

namespace orlo {

struct AlertReading {
  double value = 0;
  std::size_t index = 0;   // the cell or sensor read, 1-based; 0 for a pack-wide value
  std::string_view label;  // the alarm flag read, if any
};

// The rule's value in `live`. `index` 0: the rule's own cell or sensor, or for "any" the one
// nearest to firing (the highest for an upper limit, the lowest for a lower one).
AlertReading readAlert(const AlertRule& rule, const LiveData& live, std::size_t index = 0);

// Whether `value` is past the limit, and whether it is back at or behind the clear level.
bool pastLimit(const AlertRule& rule, double value);
bool backFromLimit(const AlertRule& rule, double value);

// A value or limit as text: the shortest decimal that reads back as the same double
// ("3712", "-20.009", "0.5").
std::string numberText(double value);

// "house-1: cell 3 at 3712 mV, above 3650 mV for 30 s" and "house-1: cell 3 back at 3590 mV".
std::string alertMessage(const AlertRule& rule, const std::string& pack, const AlertReading& reading,
                         bool firing);

}  // namespace orlo
