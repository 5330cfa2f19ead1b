// Recovery copies of a scene with unsaved changes.
#include "stage/studio/Recovery.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cerrno>

namespace stage::studio {

namespace {

const char* const kSuffix = ".recovery";
const char* const kUntitledPrefix = "untitled-";

// The process that wrote an untitled copy, from its name; 0 when the name is not one of ours.
qint64 WriterOf(const QString& fileName) {
  QString pid = fileName.mid(QString(kUntitledPrefix).size());
  pid.chop(QString(".json").size() + QString(kSuffix).size());
  bool ok = false;
  const qint64 n = pid.toLongLong(&ok);
  return ok && n > 0 ? n : 0;
}

bool Alive(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

}  // namespace

TRecovery::TRecovery(TDocument document, QObject* parent) : QObject(parent), Document_(std::move(document)) {
  Timer_ = new QTimer(this);
  connect(Timer_, &QTimer::timeout, this, &TRecovery::WriteNow);
  if (const int seconds = IntervalSeconds(); seconds > 0) Timer_->start(seconds * 1000);
}

int TRecovery::IntervalSeconds() {
  bool ok = false;
  const int fromEnv = qEnvironmentVariableIntValue("VANTREL_RECOVERY_SECONDS", &ok);
  if (ok) return std::max(0, fromEnv);
  const int fromSettings = QSettings().value("recovery/intervalSeconds", 60).toInt(&ok);
  return ok ? std::max(0, fromSettings) : 60;
}

QString TRecovery::Folder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/recovery";
}

QString TRecovery::CopyPath(const QString& scenePath) {
  if (!scenePath.isEmpty()) return scenePath + kSuffix;
  return Folder() + "/" + kUntitledPrefix + QString::number(QCoreApplication::applicationPid()) + ".json" + kSuffix;
}

QString TRecovery::NewerCopy(const QString& scenePath) {
  const QFileInfo copy(CopyPath(scenePath)), scene(scenePath);
  return copy.isFile() && (!scene.exists() || copy.lastModified() > scene.lastModified()) ? copy.filePath() : QString();
}

QString TRecovery::LeftUntitledCopy() {
  const QFileInfoList copies = QDir(Folder()).entryInfoList({QString(kUntitledPrefix) + "*.json" + kSuffix}, QDir::Files, QDir::Time);
  for (const QFileInfo& copy : copies) {
    const qint64 writer = WriterOf(copy.fileName());
    if (writer && writer != QCoreApplication::applicationPid() && !Alive(writer)) return copy.filePath();
  }
  return {};
}

bool TRecovery::WriteNow() {
  if (!Document_.NeedsCopy()) return true;
  const QString copy = CopyPath(Document_.Path());
  try {
    if (Document_.Path().isEmpty()) QDir().mkpath(Folder());
    Document_.Write(copy.toStdString());
  } catch (const std::exception& e) {
    emit Failed(tr("No recovery copy: %1").arg(QString::fromStdString(e.what())));
    return false;
  }
  return true;
}

void TRecovery::Discard(const QString& scenePath) {
  QFile::remove(CopyPath(scenePath));
  if (!Adopted_.isEmpty()) QFile::remove(Adopted_);
  Adopted_.clear();
}

}  // namespace stage::studio
