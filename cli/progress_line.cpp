// Terminal progress for the split and join commands.
#include "cli/progress_line.h"

#include <cstdio>

#include "cli/cli.h"
#include "cli/common_options.h"
#include "platform/console.h"

namespace cli {

ProgressLine::ProgressLine() : m_enabled(!quiet() && platform::errorStreamIsTerminal()) {}

ProgressLine::~ProgressLine() {
  finish();
}

void ProgressLine::publish(const engine::Progress& progress) {
  if (!m_enabled) return;
  // A hundred updates per part is more than a terminal needs; redraw at most 20 times
  // a second, and always at 100 %.
  const auto now = std::chrono::steady_clock::now();
  if (progress.gauge < 100 && m_drawn && now - m_lastDraw < std::chrono::milliseconds(50)) return;
  std::string line = progress.title + " |" + progress.status;
  if (line == m_last) return;
  const std::size_t width = line.size() < m_last.size() ? m_last.size() - line.size() : 0;
  std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(width), "");
  std::fflush(stderr);
  m_last = std::move(line);
  m_drawn = true;
  m_lastDraw = now;
}

void ProgressLine::finish() {
  if (m_drawn) std::fputc('\n', stderr);
  m_drawn = false;
  m_last.clear();
}

int reportResult(const engine::JobResult& result, bool summaryOnStderr) {
  for (const auto* lines : {&result.warnings, &result.notes}) {
    for (const std::string& line : *lines) std::fprintf(stderr, "sundrix-cli: %s\n", line.c_str());
  }
  switch (result.outcome) {
    case engine::JobOutcome::Done:
      if (!result.summary.empty()) {
        std::fprintf(summaryOnStderr ? stderr : stdout, "%s\n", result.summary.c_str());
      }
      return result.warnings.empty() ? kExitOk : kExitFailure;
    case engine::JobOutcome::Stopped:
      std::fprintf(stderr, "sundrix-cli: stopped\n");
      return stoppedStatus();
    case engine::JobOutcome::Failed:
      std::fprintf(stderr, "sundrix-cli: %s\n", result.reason.c_str());
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace cli
