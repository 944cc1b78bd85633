#include "headless/pack_data_log.h"

#include <cstdio>

#include "core/log_row.h"

namespace orlo::headless {

PackDataLog::PackDataLog(const std::string& dir, const std::string& pack)
    : path_((dir.empty() || dir.back() == '/' ? dir : dir + "/") + pack + ".csv") {}

bool PackDataLog::ensureFile() {
  // Fails harmlessly when the file is there, the usual case: it is continued, header and all.
  const Status created = createLogFile(path_, toUtf16Le(logHeaderLine()));
  if (file_.holding()) return true;
  const Status held = file_.hold(path_);
  if (held) return true;
  // Nothing there because it could not be made (a full disk, a folder not ours): that is why.
  fail(held.errorKind() == ErrorKind::Missing && !created ? created.error() : held.error());
  return false;
}

void PackDataLog::write(const std::tm& time, const LiveData& live) {
  if (!ensureFile()) return;
  const Status result = file_.append(path_, toUtf16Le(formatLogRow(time, number_, logValuesOf(live))),
                                     toUtf16Le(logHeaderLine()));
  if (!result) return fail(result.error());
  number_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(number_) + 1u);
  failureReported_ = false;
}

void PackDataLog::fail(const std::string& why) {
  if (failureReported_) return;
  failureReported_ = true;
  std::fprintf(stderr,
               "orlo-bms: the data log row was not saved to %s (%s); trying again at every interval\n",
               path_.c_str(), why.c_str());
}

}  // namespace orlo::headless
