#pragma once
// What /metrics shows: every pack's latest live data in Prometheus' base units (volts, degrees
// Celsius, amperes, coulombs, ratios), its link and frame counts, and the program's counters,
// written in the text exposition format. Values are written from the frame's integer fields
// (20009 mA is -20.009 A), never through a float's text. Each live family's text is kept between
// scrapes and written again only after a frame changed what it shows.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/answers.h"

namespace orlo::headless {

class MetricsBook {
 public:
  using Time = std::chrono::steady_clock::time_point;

  struct Channel {
    std::string name;  // "webhook-1": kind and place in the config
    std::uint64_t sent = 0;
    std::uint64_t failed = 0;
  };

  MetricsBook(std::vector<std::string> packs, Time start);

  void onFrame(std::size_t pack, const LiveData& live, Time now);
  void onLink(std::size_t pack, bool up);
  // Counters the owners keep; read when a scrape comes.
  void setFrameCounts(std::size_t pack, std::uint64_t valid, std::uint64_t dropped);
  void setBrokerReconnects(std::uint64_t count) { reconnects_ = count; }
  void setChannels(std::vector<Channel> channels) { channels_ = std::move(channels); }
  void setChannelCounts(std::size_t channel, std::uint64_t sent, std::uint64_t failed);

  // The whole exposition into `out`. `same`: `out` holds what the last call wrote, and the part
  // before the first family that changed since stays as it is.
  void write(std::string& out, Time now, bool same = false);

  // The live families: cells, temperatures, six scalars, alarms, balancing.
  static constexpr std::size_t kPieces = 10;

 private:
  struct Pack {
    std::string name;
    LiveData live;
    bool seen = false;
    bool up = false;
    Time lastFrame;
    std::uint64_t valid = 0;
    std::uint64_t dropped = 0;
  };
  void writeLive(std::string& out, bool same);
  void writeCounters(std::string& out, Time now) const;

  std::vector<Pack> packs_;
  // Each live family's text, every pack's lines in one buffer: a scrape copies ten buffers.
  std::array<std::string, kPieces> families_;
  std::array<bool, kPieces> stale_{};
  std::array<std::size_t, kPieces> offsets_{};  // where each family began in the last page
  std::uint64_t reconnects_ = 0;
  std::vector<Channel> channels_;
};

}  // namespace orlo::headless
