#include "pages/alarm_parameter_page.h"

#include <fstream>
#include <utility>

#include "core/alarm_parameter_file.h"
#include "core/alarm_parameter_record.h"
#include "link/requests.h"
#include "util/platform.h"
#include "view/alarm_parameter_ids.h"

namespace orlo {
namespace {

using namespace alarm_ids;

// The box of each record row, by row (row 1 first).
constexpr AlarmId kBoxes[kAlarmParameterCount] = {
    AlarmId::ChgOcValue,      AlarmId::ChgOcDelay,      AlarmId::ChgOcRelease,    AlarmId::DsgOcValue,
    AlarmId::DsgOcDelay,      AlarmId::DsgOcRelease,    AlarmId::CellOvValue,     AlarmId::CellOvDelay,
    AlarmId::CellOvRelease,   AlarmId::CellUvValue,     AlarmId::CellUvDelay,     AlarmId::CellUvRelease,
    AlarmId::OvDifferValue,   AlarmId::OvDifferDelay,   AlarmId::OvDifferRelease, AlarmId::OtDifferValue,
    AlarmId::OtDifferDelay,   AlarmId::OtDifferRelease, AlarmId::DsgOtValue,      AlarmId::DsgOtDelay,
    AlarmId::DsgOtRelease,    AlarmId::DsgUtValue,      AlarmId::DsgUtDelay,      AlarmId::DsgUtRelease,
    AlarmId::ChgOtValue,      AlarmId::ChgOtDelay,      AlarmId::ChgOtRelease,    AlarmId::ChgUtValue,
    AlarmId::ChgUtDelay,      AlarmId::ChgUtRelease,    AlarmId::BusOvValue,      AlarmId::BusOvDelay,
    AlarmId::BusOvRelease,    AlarmId::BusUvValue,      AlarmId::BusUvDelay,      AlarmId::BusUvRelease,
    AlarmId::NominalCapacity, AlarmId::BoardId,         AlarmId::Cycles,          AlarmId::Soc,
    AlarmId::SocWarning,      AlarmId::MosfetOtValue,   AlarmId::MosfetOtDelay,   AlarmId::MosfetOtRelease};

constexpr const char* kPlaceholder = "--";
constexpr const char* kReadSuccessful = "Read successful!";
constexpr const char* kSetSuccessful = "Set successful!";
constexpr const char* kSocMessage = "SOC设置错误，请输入0~100之间的值";
constexpr const char* kSocCaption = "SOC设置报错";
constexpr const char* kTemplateMissing = "参数模板文件不存在，未能保存!";
constexpr const char* kSaveRefused = "保存失败，请关闭文件后才操作!";

// A box may hold a pasted novel; the message only needs enough of it to be recognised.
std::string shortQuote(const std::string& text) {
  constexpr std::size_t kShown = 24;
  if (text.size() <= kShown) return "\"" + text + "\"";
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
  return "\"" + text.substr(0, cut) + "...\"";
}

std::string placeholderMessage(const AlarmParameterRow& row) {
  return pageFieldName(row) +
         " holds no value yet. Read the parameters from the BMS (\"Read\") or load a parameter file "
         "first. Nothing was sent.";
}

std::string rangeMessage(const AlarmParameterRow& row, const std::string& text) {
  const AcceptedRange range = acceptedRange(row);
  return pageFieldName(row) + " must be a whole number from " + std::to_string(range.min) + " to " +
         std::to_string(range.max) + "; it holds " + shortQuote(text) + ". Nothing was sent.";
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

AlarmId alarmBoxId(const AlarmParameterRow& row) {
  return kBoxes[row.row - 1];
}

AlarmParameterPage::AlarmParameterPage(Form& form, SerialControl& serial)
    : form_(form), serial_(serial), loadedValues_(kAlarmParameterCount), savedValues_(kAlarmParameterCount) {}

void AlarmParameterPage::initPage(const std::string& workingFolder, const std::string& parameterFolder) {
  form_.setReadOnly(AlarmId::Path, true);
  workingFolder_ = workingFolder;
  parameterFolder_ = parameterFolder;
  showPlaceholders();
  form_.startTimer(kStatusClearTimer, kStatusClearPeriodMs);
}

void AlarmParameterPage::onReadResult(const FrameView& frame) {
  for (const auto& row : alarmParameterRecord()) form_.setText(alarmBoxId(row), decodeAlarmField(row, frame));
  showStatus(kReadSuccessful);
}

void AlarmParameterPage::onSetAcknowledge() {
  showStatus(kSetSuccessful);
}

void AlarmParameterPage::showStatus(const std::string& text) {
  statusShown_ = true;
  form_.setText(AlarmId::Status, text);
}

void AlarmParameterPage::showPlaceholders() {
  for (const auto& row : alarmParameterRecord()) form_.setText(alarmBoxId(row), kPlaceholder);
}

void AlarmParameterPage::showValues(const std::vector<std::string>& values) {
  const auto& record = alarmParameterRecord();
  for (std::size_t i = 0; i < record.size() && i < values.size(); ++i)
    form_.setText(alarmBoxId(record[i]), values[i]);
}

void AlarmParameterPage::collectValues(std::vector<std::string>* values) const {
  values->clear();
  for (const auto& row : alarmParameterRecord()) values->push_back(form_.text(alarmBoxId(row)));
}

void AlarmParameterPage::onClicked(AlarmId id) {
  using Handler = void (AlarmParameterPage::*)();
  static const std::pair<AlarmId, Handler> kButtons[] = {
      {AlarmId::Read, &AlarmParameterPage::onRead},
      {AlarmId::Set, &AlarmParameterPage::onSet},
      {AlarmId::LoadParameter, &AlarmParameterPage::onLoadParameter},
      {AlarmId::SaveParameter, &AlarmParameterPage::onSaveParameter},
  };
  for (const auto& [button, handler] : kButtons)
    if (button == id) (this->*handler)();
}

void AlarmParameterPage::onTimer(int timerId) {
  if (timerId != kStatusClearTimer || !statusShown_) return;
  form_.setText(AlarmId::Status, "");
  statusShown_ = false;
}

void AlarmParameterPage::onRead() {
  if (!serial_.isOpen()) return;
  serial_.write(alarmParameterReadRequest());
}

void AlarmParameterPage::onSet() {
  if (!serial_.isOpen()) return;
  std::vector<std::string> texts;
  collectValues(&texts);
  const AlarmSetEncoding set = encodeAlarmSet(texts);
  if (set.refused) {
    refuseSet(*set.refused, set.refusedText);
    return;
  }
  std::string note;
  if (beforeSet_ && !beforeSet_(set.values, &note)) {
    form_.messageBox(note, "");
    return;
  }
  if (!note.empty()) showStatus(note);
  serial_.write(alarmParameterSetRequest(set.data));
}

void AlarmParameterPage::refuseSet(const AlarmParameterRow& row, const std::string& text) {
  if (trimmed(text) == kPlaceholder)
    form_.messageBox(placeholderMessage(row), "");
  else if (row.limit == FieldLimit::Percent)
    form_.messageBox(kSocMessage, kSocCaption);
  else
    form_.messageBox(rangeMessage(row, text), "");
}

FileDialogRequest alarmParameterFileDialog(const std::string& folder, bool save) {
  FileDialogRequest request;
  request.filter = kAlarmParameterFilter;
  request.startFolder = folder;
  request.proposedName = save ? kAlarmParameterFileName : "";
  request.confirmOverwrite = save;
  return request;
}

FileDialogRequest AlarmParameterPage::fileDialog(bool save) const {
  return alarmParameterFileDialog(parameterFolder_, save);
}

std::string AlarmParameterPage::defaultPath() const {
  return parameterFolder_ + "/" + kAlarmParameterFileName;
}

void AlarmParameterPage::onLoadParameter() {
  const auto chosen = form_.askOpenFile(fileDialog(false));
  if (chosen) loadParameterFile(*chosen);
  form_.setText(AlarmId::Path, chosen ? *chosen : defaultPath());
}

void AlarmParameterPage::onSaveParameter() {
  const auto chosen = form_.askSaveFile(fileDialog(true));
  if (chosen) saveParameterFile(*chosen);
  form_.setText(AlarmId::Path, chosen ? *chosen : defaultPath());
}

bool AlarmParameterPage::saveParameterFile(const std::string& path) {
  // The folder recorded at start-up, not the current one, which file dialogs may have moved.
  if (pathKind(workingFolder_ + "/" + kAlarmParameterTemplateName) != PathKind::File) {
    form_.messageBox(kTemplateMissing, "");
    return false;
  }
  if (!mayReplace(path)) {
    form_.messageBox(kSaveRefused, "");
    return false;
  }
  collectValues(&savedValues_);
  const Status saved = replaceFileContent(path, formatAlarmParameterFile(savedValues_));
  if (!saved) {
    form_.messageBox("Could not save the parameter file \"" + path + "\" (" + saved.error() +
                         "). Any earlier file there " + "was left as it was.",
                     "");
    return false;
  }
  showValues(savedValues_);
  return true;
}

bool AlarmParameterPage::loadParameterFile(const std::string& path) {
  std::ifstream in;
  if (pathKind(path) == PathKind::File) in.open(path, std::ios::binary);
  if (!in.is_open()) {
    form_.messageBox("Could not open the parameter file \"" + path + "\". The boxes were left as they were.",
                     "");
    return false;
  }
  std::vector<std::string> loaded = loadedValues_;
  readAlarmParameterLines(in, &loaded);
  if (in.bad()) {
    form_.messageBox("Could not read the parameter file \"" + path + "\". The boxes were left as they were.",
                     "");
    return false;
  }
  loadedValues_ = std::move(loaded);
  showValues(loadedValues_);
  return true;
}

}  // namespace orlo
