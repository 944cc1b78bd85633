#pragma once
// The figures of a whole log or of a range of it, gathered row by row in a fixed amount of
// memory. Date-times are seconds since midnight of the first row's day, as LogReader hands
// them out.
//
// Rows whose four cells read 0 were written while the link was down; they count as rows but
// not for the cell figures. Current is integrated within each run, each row's current held
// until the next row (positive current is charge, as the log's sign has it); energy is that
// current times the total voltage.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/log_reader.h"

namespace orlo {

struct CellFigures {
  std::int32_t minMv = 0;
  std::int32_t maxMv = 0;
  double meanMv = 0;
};

struct AlarmFigures {
  std::string label;       // the lamp's label, "bit N" beyond the 18 lamps
  std::int64_t count = 0;  // times it turned on
  CivilSeconds first = 0;  // first and last row with it set
  CivilSeconds last = 0;
};

struct RunFigures {
  CivilSeconds first = 0;
  CivilSeconds last = 0;
  std::int64_t rows = 0;
};

struct LogSummary {
  std::int64_t rows = 0;
  std::int64_t cellRows = 0;  // rows with cell voltages (not all 0)
  CivilSeconds first = 0;
  CivilSeconds last = 0;
  std::vector<RunFigures> runs;
  std::array<CellFigures, 4> cells{};
  std::int32_t maxSpreadMv = 0;
  CivilSeconds maxSpreadAt = 0;
  double chargeAh = 0;
  double dischargeAh = 0;
  double chargeWh = 0;
  double dischargeWh = 0;
  std::array<std::int64_t, 256> modeSeconds{};
  std::vector<AlarmFigures> alarms;  // only flags that were ever set, by bit
  std::int32_t firstCycle = 0;
  std::int32_t lastCycle = 0;
};

class LogSummarizer {
 public:
  void add(const LogRecord& record);
  LogSummary summary() const;

 private:
  struct Alarm {
    std::int64_t count = 0;
    CivilSeconds first = 0;
    CivilSeconds last = 0;
  };
  struct Previous {
    CivilSeconds seconds = 0;
    int run = 0;
    double current = 0;
    double totalV = 0;
    int mode = 0;
    std::uint32_t alarms = 0;
  };
  void addCells(const LogRecord& record);
  void addRun(const LogRecord& record);

  LogSummary s_;
  std::array<double, 4> cellSums_{};
  std::array<Alarm, 32> alarms_{};
  Previous previous_;
};

// The figures as lines of text, as the window's summary panel and `orlo-bms log summary` show
// them: span and duration, runs (the first `maxRuns`), each cell's minimum/maximum/mean, the
// largest spread and when, Ah and Wh each way, time in each mode, each alarm flag, the change of
// the cycle count. `firstDay` dates the figures' seconds.
std::string describeSummary(const LogSummary& s, CivilSeconds firstDay, std::size_t maxRuns);

}  // namespace orlo
