// The worker thread of a job, the options it reads and the progress it hands to the GUI.
#pragma once

#include <QPointer>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/live_controls.h"
#include "engine/combine.h"
#include "engine/job.h"
#include "engine/split.h"

class TForm1;

// The split's options: what the split reads once was copied from the window when the
// job started; the check boxes are read live.
class SplitJobOptions : public engine::SplitOptions {
 public:
  SplitJobOptions(const LiveControls& live, std::string outputFolder, std::string batName,
                  engine::SplitMode mode, int sizeUnit)
      : m_live(live),
        m_outputFolder(std::move(outputFolder)),
        m_batName(std::move(batName)),
        m_mode(mode),
        m_sizeUnit(sizeUnit) {}

  std::string outputFolder() override { return m_outputFolder; }
  std::string batName() override { return m_batName; }
  engine::SplitMode mode() override { return m_mode; }
  int sizeUnit() override { return m_sizeUnit; }
  bool createBat() override { return m_live.createBat.load(); }
  bool compressZip() override { return m_live.compressZip.load(); }
  bool deleteInput() override { return m_live.deleteInput.load(); }
  bool batDeleteLine() override { return m_live.batDeleteLine.load(); }
  bool writeChecksum() override { return m_live.writeChecksum.load(); }
  bool createShScript() override { return m_live.createSh.load(); }
  engine::RecoveryAmount recovery() override {
    const int choice = m_live.recovery.load();
    engine::RecoveryAmount amount;
    (choice < 0 ? amount.percent : amount.parts) = choice < 0 ? -choice : choice;
    return amount;
  }

 private:
  const LiveControls& m_live;
  std::string m_outputFolder;
  std::string m_batName;
  engine::SplitMode m_mode;
  int m_sizeUnit;
};

class CombineJobOptions : public engine::CombineOptions {
 public:
  explicit CombineJobOptions(const LiveControls& live) : m_live(live) {}
  bool deleteParts() override { return m_live.deleteParts.load(); }

 private:
  const LiveControls& m_live;
};

// Hands updates to the GUI thread, in order, tagged with the job they belong to so that
// the window can drop what a stopped job still sends. A job publishes a hundred updates
// per part, far more than a screen shows: while the window has not yet taken what was
// handed over, a newer update of the same part replaces the one waiting, so the window
// takes them at the rate it can draw. The last update of every part is always shown.
class QueuedProgress : public engine::ProgressSink {
 public:
  QueuedProgress(TForm1* form, std::uint64_t job)
      : m_form(form), m_job(job), m_pending(std::make_shared<Pending>()) {}
  void publish(const engine::Progress& progress) override;

 private:
  struct Pending {
    std::mutex mutex;
    std::vector<engine::Progress> partEnds;  // the last updates of parts since finished
    std::optional<engine::Progress> latest;
    bool posted = false;  // a delivery is queued and has not yet begun
  };
  static void deliver(TForm1* form, std::uint64_t job, Pending& pending);

  QPointer<TForm1> m_form;
  std::uint64_t m_job;
  std::shared_ptr<Pending> m_pending;  // shared with the queued delivery
};

// One job on its own thread. The job routine gets the stop token; when it has returned
// and no stop was asked for, the worker hands WorkDone to the GUI thread and waits.
class Work : public QThread {
 public:
  using Routine = std::function<engine::JobResult(const engine::StopToken&)>;

  Work(TForm1* form, std::uint64_t job, Routine routine)
      : m_form(form), m_job(job), m_routine(std::move(routine)) {}
  ~Work() override;

  std::atomic<bool> Running{false};

  std::uint64_t job() const { return m_job; }
  void requestStop() { m_stop.requestStop(); }
  bool stopRequested() const { return m_stop.stopRequested(); }
  // Valid once Running is false.
  const engine::JobResult& result() const { return m_result; }

 protected:
  void run() override;  // Execute

 private:
  TForm1* m_form;
  std::uint64_t m_job;
  Routine m_routine;
  engine::StopToken m_stop;
  engine::JobResult m_result;
};
