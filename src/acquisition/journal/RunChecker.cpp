#include "RunChecker.h"

#include "RunCheck.h"

RunChecker::RunChecker(QObject *parent)
    : QObject(parent), m_queue([this](const QString &path, const std::atomic<bool> &cancel) {
          const QString verdict = RunCheck::verdictText(RunCheck::run(path, &cancel).verdict);
          if (!cancel)
              emit checked(path, verdict);
      })
{
}
