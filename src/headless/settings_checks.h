#pragma once
// The checks that refuse a monitor setting before anything is opened: names that become MQTT
// topics, files read at the start, certificates, devices shared by two packs.

#include <cstddef>
#include <string>
#include <vector>

#include "headless/monitor_settings.h"
#include "util/result.h"

namespace orlo::headless {

// The most a topic may have: its length goes in two bytes.
constexpr std::size_t kLongestTopic = 65535;

// The prefix as the first levels of every topic: valid UTF-8, no NUL or control character, no
// wildcard, not starting with '$' (the broker's own topics), no empty level.
Status checkTopicPrefix(const std::string& prefix);
// Every topic built from the prefix and the packs' names fits kLongestTopic, the Home Assistant
// discovery topics included.
Status checkTopicLengths(const std::string& prefix, const std::vector<PackEntry>& packs);

// The file holds at least one PEM certificate.
Status checkCertificateFile(const std::string& path, const char* what);

// No two packs name the same device (the same path, or two paths to one device file).
Status checkDistinctDevices(const std::vector<PackEntry>& packs);

}  // namespace orlo::headless
