// The worker thread: runs the job routine and hands the completion to the GUI thread.
#include "app/work.h"

#include <QPointer>

#include "app/form1.h"

void QueuedProgress::publish(const engine::Progress& progress) {
  TForm1* form = m_form.data();
  if (form == nullptr) return;
  const std::uint64_t job = m_job;
  // Queued calls to one receiver from one thread are delivered in the order posted.
  QMetaObject::invokeMethod(
      form, [form, job, progress] { form->showProgress(job, progress); }, Qt::QueuedConnection);
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
