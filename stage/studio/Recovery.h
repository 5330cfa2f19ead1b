// Recovery copies: while the scene has unsaved changes, the studio writes a copy of it at a fixed
// interval, the same safe way it saves, so that a crash loses at most one interval of work. A
// saved scene's copy lies beside it ("scene.json" gets "scene.json.recovery"); an untitled
// scene's lies in the recovery folder of the user's application data, named after the studio's
// process ("untitled-<pid>.json.recovery"). Saving the scene or discarding its changes removes
// the copy; a studio that is killed leaves it, and the next one offers to restore it.
//
// The interval is the setting "recovery/intervalSeconds" (60 when not set); the environment
// variable VANTREL_RECOVERY_SECONDS, when set, takes its place. 0 writes no copies.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

class QTimer;

namespace stage::studio {

class TRecovery : public QObject {
  Q_OBJECT
 public:
  struct TDocument {
    std::function<QString()> Path;    // the scene's file; empty while untitled
    std::function<bool()> NeedsCopy;  // unsaved changes, and nothing under way that a copy would catch half-done
    std::function<void(const std::filesystem::path&)> Write;  // writes the scene there; throws on failure
  };
  TRecovery(TDocument document, QObject* parent);

  static int IntervalSeconds();
  static QString Folder();
  // Where the copy of the scene at scenePath (empty: untitled, of this process) goes.
  static QString CopyPath(const QString& scenePath);
  // The copy of scenePath when it is newer than the scene; empty when there is none.
  static QString NewerCopy(const QString& scenePath);
  // The newest copy of an untitled scene whose studio has gone; empty when there is none.
  static QString LeftUntitledCopy();

  // Writes the copy now if the document needs one. Answers false (and signals Failed) when the
  // copy cannot be written.
  bool WriteNow();
  // The document's changes were saved or dropped: its copy is removed, with any copy restored
  // into it.
  void Discard(const QString& scenePath);
  // The scene was restored from copy: that copy goes when the document's own would.
  void Adopt(const QString& copy) { Adopted_ = copy; }

 signals:
  void Failed(const QString& message);

 private:
  TDocument Document_;
  QTimer* Timer_;
  QString Adopted_;
};

}  // namespace stage::studio
