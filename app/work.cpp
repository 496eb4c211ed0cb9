// The worker thread: runs the job routine and hands the completion to the GUI thread.
#include "app/work.h"

#include <QPointer>

#include "app/form1.h"

void QueuedProgress::publish(const engine::Progress& progress) {
  TForm1* form = m_form.data();
  if (form == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(m_pending->mutex);
    Pending& pending = *m_pending;
    if (pending.latest && pending.latest->part != progress.part) {
      pending.partEnds.push_back(std::move(*pending.latest));
    }
    pending.latest = progress;
    if (pending.posted) return;
    pending.posted = true;
  }
  const std::uint64_t job = m_job;
  const std::shared_ptr<Pending> pending = m_pending;
  // Queued calls to one receiver from one thread are delivered in the order posted, so
  // every update is shown before the job's completion.
  QMetaObject::invokeMethod(
      form, [form, job, pending] { deliver(form, job, *pending); }, Qt::QueuedConnection);
}

void QueuedProgress::deliver(TForm1* form, std::uint64_t job, Pending& pending) {
  std::vector<engine::Progress> partEnds;
  std::optional<engine::Progress> latest;
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    partEnds.swap(pending.partEnds);
    latest.swap(pending.latest);
    pending.posted = false;
  }
  for (const engine::Progress& progress : partEnds) form->showProgress(job, progress);
  if (latest) form->showProgress(job, *latest);
}

Work::~Work() {
  wait();
}

void Work::run() {
  try {
    m_result = m_routine(m_stop);
  } catch (const std::exception& error) {
    m_result = engine::JobResult::failed("", error.what());
  } catch (...) {
    m_result = engine::JobResult::failed("", "unexpected error");
  }
  Running.store(false);
  if (m_stop.stopRequested()) {
    // The window has moved on; only news the user must not miss is passed on.
    if (m_result.outcome == engine::JobOutcome::Failed || !m_result.message().empty()) {
      const QPointer<TForm1> form(m_form);
      const engine::JobResult result = m_result;
      QMetaObject::invokeMethod(
          m_form,
          [form, result] {
            if (form) form->reportStoppedJob(result);
          },
          Qt::QueuedConnection);
    }
    return;
  }
  QMetaObject::invokeMethod(m_form, &TForm1::WorkDone, Qt::BlockingQueuedConnection);
}
