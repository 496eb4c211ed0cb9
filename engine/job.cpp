// Job results and the gauge arithmetic shared by the split and the join.
#include "engine/job.h"

#include <charconv>

namespace engine {

std::string JobResult::message() const {
  std::string text = outcome == JobOutcome::Failed ? reason : std::string();
  for (const auto* lines : {&warnings, &notes}) {
    for (const std::string& line : *lines) {
      if (!text.empty()) text += '\n';
      text += line;
    }
  }
  return text;
}

JobResult JobResult::failed(std::string file, std::string reason) {
  JobResult result;
  result.outcome = JobOutcome::Failed;
  result.file = std::move(file);
  result.reason = std::move(reason);
  return result;
}

JobResult JobResult::stopped(std::vector<std::string> warnings) {
  JobResult result;
  result.outcome = JobOutcome::Stopped;
  result.warnings = std::move(warnings);
  return result;
}

int gaugePosition(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 100;
  // done * 100 overflows only past 92 PB; divide first for such sizes.
  const std::int64_t value =
      done < INT64_MAX / 100 ? done * 100 / total : done / (total / 100 == 0 ? 1 : total / 100);
  return value < 0 ? 0 : value > 100 ? 100 : static_cast<int>(value);
}

namespace {

void appendNumber(std::string& text, std::int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  text.append(digits, end);
}

}  // namespace

void setProgressTexts(Progress& progress, std::int64_t kbDone, std::string_view statusTail,
                      std::string_view titleTail) {
  progress.status.assign(1, ' ');
  appendNumber(progress.status, kbDone);
  progress.status.append(statusTail);
  progress.title.clear();
  appendNumber(progress.title, progress.part);
  progress.title.append(" - ");
  appendNumber(progress.title, progress.gauge);
  progress.title.append(titleTail);
}

}  // namespace engine
