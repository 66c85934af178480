#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace qv {

// Runs fn on the thread of context and returns when it has run: directly when already there,
// else as a blocking queued call. The caller's thread must not be the one that context's thread
// waits for, or the two would block each other.
template <typename Fn>
void CallOnObjectThread(QObject* context, Fn&& fn) {
  if (QThread::currentThread() == context->thread()) {
    std::forward<Fn>(fn)();
    return;
  }
  QMetaObject::invokeMethod(context, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

}  // namespace qv
