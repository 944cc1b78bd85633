#include "support/fake_form.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orlo::test {

std::string layoutPath(const std::string& window) {
  const char* dir = std::getenv("ORLO_RESOURCE_DIR");
  return std::string(dir ? dir : "resources") + "/layouts/" + window + ".layout";
}

FakeForm::FakeForm(const std::string& window) {
  const Result<LayoutTable> table = loadLayoutFile(layoutPath(window));
  if (!table) ADD_FAILURE() << table.error();
  *this = FakeForm(table ? *table : LayoutTable{});
}

FakeForm::FakeForm(const LayoutTable& table) : table_(table) {
  for (const auto& c : table_.controls) {
    if (c.id == -1) continue;
    State s;
    s.enabled = !c.hasFlag("disabled");
    s.readOnly = c.kind == "readonly";
    s.checked = c.hasFlag("checked");
    if (c.kind == "combo" || c.kind == "combo-edit" || c.kind == "tabs") {
      s.items = splitItems(c.text);
      s.index = s.items.empty() ? -1 : 0;
    } else {
      s.text = c.text;
    }
    states_[c.id] = s;
  }
}

void FakeForm::checkWindow(const char* layout, int id) const {
  if (table_.window.name != layout)
    ADD_FAILURE() << "id " << id << " of window '" << layout << "' used on window '" << table_.window.name
                  << "'";
}

FakeForm::State& FakeForm::state(int id) {
  auto it = states_.find(id);
  if (it == states_.end()) {
    ADD_FAILURE() << "control id " << id << " is not in layout '" << table_.window.name << "'";
    return states_[id];
  }
  return it->second;
}

const FakeForm::State& FakeForm::state(int id) const {
  return const_cast<FakeForm*>(this)->state(id);
}

std::string FakeForm::text(int id) const {
  const State& s = state(id);
  const auto* c = table_.control(id);
  if (c && c->kind == "combo-edit" && s.index >= 0 && s.index < static_cast<int>(s.items.size()))
    return s.items[static_cast<std::size_t>(s.index)];
  return s.text;
}
void FakeForm::setText(int id, const std::string& text) {
  state(id).text = text;
}
bool FakeForm::isEnabled(int id) const {
  return state(id).enabled;
}
void FakeForm::setEnabled(int id, bool enabled) {
  state(id).enabled = enabled;
}
bool FakeForm::isReadOnly(int id) const {
  return state(id).readOnly;
}
void FakeForm::setReadOnly(int id, bool readOnly) {
  state(id).readOnly = readOnly;
}
Icon FakeForm::icon(int id) const {
  return state(id).icon;
}
void FakeForm::setIcon(int id, Icon icon) {
  state(id).icon = icon;
}
bool FakeForm::isChecked(int id) const {
  return state(id).checked;
}
void FakeForm::setChecked(int id, bool checked) {
  state(id).checked = checked;
}

void FakeForm::setItems(int id, const std::vector<std::string>& items) {
  State& s = state(id);
  s.items = items;
  s.index = -1;
}
std::vector<std::string> FakeForm::items(int id) const {
  return state(id).items;
}
int FakeForm::currentIndex(int id) const {
  return state(id).index;
}
void FakeForm::setCurrentIndex(int id, int index) {
  State& s = state(id);
  s.index = (index >= 0 && index < static_cast<int>(s.items.size())) ? index : -1;
}

void FakeForm::messageBox(const std::string& text, const std::string& caption) {
  messages_.push_back({text, caption});
}

std::optional<std::string> FakeForm::askSaveFile(const FileDialogRequest& request) {
  fileRequests_.push_back(request);
  if (fileAnswers_.empty()) return std::nullopt;
  auto answer = fileAnswers_.front();
  fileAnswers_.erase(fileAnswers_.begin());
  return answer;
}
std::optional<std::string> FakeForm::askOpenFile(const FileDialogRequest& request) {
  return askSaveFile(request);
}

void FakeForm::startTimer(int timerId, int periodMs) {
  timers_[timerId] = periodMs;
  beatOffsets_.erase(timerId);
}
void FakeForm::startTimerOnBeat(int timerId, int periodMs, int offsetMs) {
  timers_[timerId] = periodMs;
  beatOffsets_[timerId] = offsetMs;
}
void FakeForm::stopTimer(int timerId) {
  timers_.erase(timerId);
  beatOffsets_.erase(timerId);
}
int FakeForm::timerBeatOffset(int timerId) const {
  auto it = beatOffsets_.find(timerId);
  return it == beatOffsets_.end() ? -1 : it->second;
}
int FakeForm::timerPeriod(int timerId) const {
  auto it = timers_.find(timerId);
  return it == timers_.end() ? 0 : it->second;
}

}  // namespace orlo::test
