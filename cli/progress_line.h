// A one-line progress display on stderr, redrawn in place; silent when stderr is not a
// terminal and under --quiet.
#pragma once

#include <chrono>
#include <string>

#include "engine/job.h"

namespace cli {

class ProgressLine : public engine::ProgressSink {
 public:
  ProgressLine();
  ~ProgressLine() override;
  void publish(const engine::Progress& progress) override;
  bool shown() const override { return m_enabled; }
  // Ends the line so that later messages start on their own.
  void finish();

 private:
  bool m_enabled;
  bool m_drawn = false;
  std::string m_last;
  std::chrono::steady_clock::time_point m_lastDraw;
};

// Prints the outcome of a job (warnings and failures to stderr) and gives the exit
// status. The summary goes to standard output, or to standard error when the file itself is
// written there (a join into /dev/stdout).
int reportResult(const engine::JobResult& result, bool summaryOnStderr = false);

}  // namespace cli
