#include "RunLineCounter.h"

#include "RunCatalog.h"

RunLineCounter::RunLineCounter(QObject *parent)
    : QObject(parent), m_queue([this](const QString &path, const std::atomic<bool> &cancel) {
          const qint64 lines = RunCatalog::countLines(path, &cancel);
          if (!cancel)
              emit counted(path, lines);
      })
{
}
