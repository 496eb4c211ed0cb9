// Starting, stopping and finishing the job: one split or join at a time, run by a Work
// thread, with its progress shown on the window.
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "app/form1.h"
#include "app/gauge.h"
#include "app/message_box.h"
#include "app/work.h"
#include "engine/recovery_data.h"
#include "engine/verify.h"
#include "engine/zip_part_archiver.h"
#include "platform/file.h"

namespace {

// A whole number, blanks around it allowed; nothing else.
bool parseWholeNumber(const QString& text, std::int64_t& value) {
  bool ok = false;
  value = text.trimmed().toLongLong(&ok);
  return ok;
}

}  // namespace

void TForm1::waitForWorker() {
  // Inside WorkDone the worker has finished its job and only waits for WorkDone to return.
  if (!m_work || m_inWorkDone) return;
  // The worker may be waiting for the GUI thread (WorkDone, a warning box), so keep
  // delivering its hand-overs while waiting for it.
  const bool nested = m_waitingForWorker;
  m_waitingForWorker = true;
  while (!m_work->wait(QDeadlineTimer(20)))
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  m_waitingForWorker = nested;
}

bool TForm1::workerEnded() const {
  return !m_work || !m_work->Running.load();
}

bool TForm1::refuseWhileRunning() {
  if (!m_jobActive && !m_inWorkDone && !m_waitingForWorker) {
    // A stopped worker ends within one chunk, but packing a part into its archive cannot
    // be interrupted: rather than freeze the window until it ends, say so.
    if (!m_work) return false;
    const QDeadlineTimer patience(2000);
    m_waitingForWorker = true;  // its hand-overs (a warning box) are still delivered
    bool ended = false;
    while (!(ended = m_work->wait(QDeadlineTimer(20))) && !patience.hasExpired())
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_waitingForWorker = false;
    if (ended) return false;
    message("The stopped job is still finishing its current step. Try again in a moment.");
    return true;
  }
  message("A job is running. Wait until it has ended or stop it first.");
  return true;
}

void TForm1::ButtonSplitClick() {
  if (EditFileSize->text().isEmpty() || EditSplitOption->text().isEmpty()) return;
  if (refuseWhileRunning()) return;
  std::unique_ptr<Work> work = makeSplitWork();
  if (!work) return;
  ButtonSplit->setEnabled(false);
  ButtonStopSplit->setEnabled(true);
  JobKind = "split";
  startWork(std::move(work));
}

void TForm1::ButtonCombineClick() {
  if (refuseWhileRunning()) return;
  std::unique_ptr<Work> work = makeCombineWork();
  ButtonCombine->setEnabled(false);
  ButtonStopCombine->setEnabled(true);
  JobKind = "combine";
  startWork(std::move(work));
}

// The split's parameters are copied here, so that choosing another file while the job
// runs leaves the job alone. A number or size the split cannot use starts nothing.
std::unique_ptr<Work> TForm1::makeSplitWork() {
  std::int64_t value = 0;
  if (!parseWholeNumber(EditSplitOption->text(), value)) {
    message("\"" + EditSplitOption->text() + "\" is not a whole number.");
    return nullptr;
  }
  platform::IoError err;
  const std::int64_t fileSize = platform::fileSize(InputPath, err);
  if (fileSize < 0) {
    message(QString::fromStdString(err.message()));
    return nullptr;
  }
  const auto mode = RadioGroupSplitOptionsItems->checkedId() == 1 ? engine::SplitMode::BySize
                                                                  : engine::SplitMode::ByNumber;
  const int unit = ComboBoxSize->currentIndex() < 0 ? 1 : ComboBoxSize->currentIndex();
  engine::SplitPlan plan;
  std::string problem;
  if (!engine::planSplit(fileSize, value, mode, unit, plan, problem)) {
    message(QString::fromStdString(problem));
    return nullptr;
  }

  engine::SplitRequest request;
  request.path = InputPath;
  request.value = value;
  request.caption = kCaption;
  auto options = std::make_shared<SplitJobOptions>(m_live, EditSplitFolder->text().toStdString(),
                                                   EditFileBat->text().toStdString(), mode, unit);
  const std::uint64_t job = ++m_jobSerial;
  auto progress = std::make_shared<QueuedProgress>(this, job);
  // The method holds for the whole split, so that its archives are all of one kind.
  const zip::ZipMethod method =
      m_live.deflate.load() ? zip::ZipMethod::Deflate : zip::ZipMethod::Shrink;
  return std::make_unique<Work>(
      this, job, [request, options, progress, method](const engine::StopToken& stop) {
        engine::ZipPartArchiver archiver(method);
        return engine::SplitFile(request, *options, *progress, stop, &archiver);
      });
}

std::unique_ptr<Work> TForm1::makeCombineWork() {
  engine::CombineRequest request;
  request.firstPartPath = FirstPartPath;
  request.outputPath = (EditCombineFolder->text() + EditOutputFile->text()).toStdString();
  request.combineCount = CombineCount;
  request.overwrite = true;  // the window replaces the file at the output's name
  auto options = std::make_shared<CombineJobOptions>(m_live);
  const std::uint64_t job = ++m_jobSerial;
  auto progress = std::make_shared<QueuedProgress>(this, job);
  return std::make_unique<Work>(this, job,
                                [request, options, progress](const engine::StopToken& stop) {
                                  return engine::CombineFiles(request, *options, *progress, stop);
                                });
}

// Checks the parts of the Combine tab's selection against their checksum file, on the
// worker like any job, so that a large set does not freeze the window.
void TForm1::MVerifyClick() {
  if (FirstPartPath.empty()) {
    message("Choose the first part on the Combine tab first.");
    return;
  }
  if (refuseWhileRunning()) return;
  const std::string first = FirstPartPath;
  const std::uint64_t job = ++m_jobSerial;
  auto work = std::make_unique<Work>(this, job, [first](const engine::StopToken& stop) {
    const engine::VerifyReport report = engine::VerifyParts(first, stop);
    // Recovery files beside the parts say what a join could rebuild.
    engine::RecoveryReport recovery;
    if (!stop.stopRequested()) engine::checkRecovery(first, false, stop, recovery);
    if (stop.stopRequested()) return engine::JobResult::stopped();
    if (!report.problem.empty() && !recovery.usable) {
      return engine::JobResult::failed(first, report.problem);
    }
    std::string lines;
    for (const engine::VerifyLine& line : report.lines) {
      lines += std::string(engine::statusWord(line.status)) + "  " + line.name +
               (line.why.empty() ? "" : " - " + line.why) + "\n";
    }
    if (report.problem.empty()) lines += "(" + report.against + ")";
    bool right = report.problem.empty() ? report.allRight() : true;
    if (recovery.present) {
      for (const std::string& rejection : recovery.rejections) lines += "\n" + rejection;
      lines += "\nrecovery: " + recovery.summary;
      // A join under way deleted the parts it holds in its file: Combine finishes it and
      // rebuilds nothing.
      const std::string journal =
          recovery.damaged.empty() ? std::string() : engine::journalOfJoinUnderWay(first);
      if (!journal.empty()) {
        lines += "\nrecovery: a join of this series is under way (its journal is " + journal +
                 "): Combine finishes it.";
      } else if (!recovery.damaged.empty() && recovery.repairable) {
        lines += "\nrecovery: Combine rebuilds them before it joins the parts.";
      }
      right = right && recovery.usable && recovery.damaged.empty();
    }
    if (!right) return engine::JobResult::failed(first, lines);
    engine::JobResult result;
    result.notes.push_back(lines);
    result.summary = report.problem.empty()
                         ? "Verified: every listed part is right (" + report.against + ")."
                         : "Verified: every part is right by the recovery files.";
    return result;
  });
  ButtonCombine->setEnabled(false);
  ButtonStopCombine->setEnabled(true);
  JobKind = "combine";
  startWork(std::move(work));
}

void TForm1::startWork(std::unique_ptr<Work> work) {
  // A stopped worker may still be finishing its last chunk.
  waitForWorker();
  m_work = std::move(work);
  m_jobActive = true;
  nameForScreenReaders();
  m_work->Running.store(true);
  m_work->start(QThread::NormalPriority);
}

void TForm1::showProgress(std::uint64_t job, const engine::Progress& progress) {
  if (!m_jobActive || !m_work || m_work->job() != job || m_work->stopRequested()) return;
  CGauge1->setProgress(progress.gauge);
  StatusBar1->showMessage(QString::fromStdString(progress.status));
  setWindowTitle(QString::fromStdString(progress.title));
}

void TForm1::WorkDone() {
  if (!m_work) return;
  // A Stop that came after the job's routine had ended has finished the job on the window
  // already, but what the job has to say is still said, once.
  if (m_work->stopRequested() || !m_jobActive) {
    reportStoppedJob(m_work->result());
    return;
  }
  m_inWorkDone = true;
  QCoreApplication::processEvents();
  m_inWorkDone = false;
  // The job may have been stopped, or the window closed, meanwhile.
  if (!m_jobActive) {
    reportStoppedJob(m_work->result());
    return;
  }
  JobFinished();
  const engine::JobResult& result = m_work->result();
  std::string text = result.message();
  if (result.outcome == engine::JobOutcome::Failed) {
    // The reason names the file as a rule; say which one where it does not.
    if (!result.file.empty() && text.find(result.file) == std::string::npos)
      text = result.file + ": " + text;
    app::showMessage(this, app::BoxKind::Critical, kCaption, QString::fromStdString(text));
    return;
  }
  // What the job proved stays on the status line.
  if (!result.summary.empty()) StatusBar1->showMessage(QString::fromStdString(result.summary));
  if (!result.warnings.empty()) {
    app::showMessage(this, app::BoxKind::Warning, kCaption, QString::fromStdString(text));
  } else if (!text.empty()) {
    app::showMessage(this, app::BoxKind::Information, kCaption, QString::fromStdString(text));
  }
}

void TForm1::reportStoppedJob(const engine::JobResult& result) {
  std::string text = result.message();
  if (text.empty()) return;
  if (result.outcome == engine::JobOutcome::Failed && !result.file.empty() &&
      text.find(result.file) == std::string::npos) {
    text = result.file + ": " + text;
  }
  app::showMessage(this, app::BoxKind::Warning, kCaption, QString::fromStdString(text));
}

void TForm1::JobFinished() {
  if (m_work && m_work->Running.load()) m_work->requestStop();
  m_jobActive = false;
  if (JobKind == "split") {
    ButtonSplit->setEnabled(true);
    ButtonStopSplit->setEnabled(false);
  }
  if (JobKind == "combine") {
    ButtonCombine->setEnabled(true);
    ButtonStopCombine->setEnabled(false);
  }
  CGauge1->setProgress(0);
  nameForScreenReaders();
  setWindowTitle(kCaption);
}

void TForm1::stopJob() {
  if (!m_jobActive) return;
  if (m_work) m_work->requestStop();
  JobFinished();
}

void TForm1::ButtonStopSplitClick() {
  stopJob();
}
void TForm1::ButtonStopCombineClick() {
  stopJob();
}
