// The platform of the plug-in in a Qt host: message boxes (of which the host is told through
// tsxHostShowMessage, so that a render can fail on them) and Yes/No questions, file and
// picture dialogs, the colour picker, the help viewer, the busy cursor, the beep, the Escape
// key's state, the tick count, the drawing surface on the active view, and the keyboard and
// mouse hooks as an application-wide event filter. Dialogs are owned by the host's main window.
//
// A loop that holds the thread (the preview) sees input through EscapePressed and TickCount:
// each shows what was drawn on the view since, and EscapePressed also lets the application
// handle the input waiting (so that Escape, and the panel's Stop, reach the loop).
#pragma once

#include <QObject>
#include <QPointer>
#include <QElapsedTimer>
#include <memory>

#include "hostapi/Platform.h"
#include "ui/qt/QtViewCanvas.h"

class TQtPlatform : public QObject, public TPlatform {
  Q_OBJECT
 public:
  TQtPlatform();
  ~TQtPlatform() override;

  void Beep() override;
  TDrawSurface* ViewSurface(void* window) override;
  uint32_t TickCount() override;
  bool EscapePressed() override;
  // Shows what was drawn on the view and handles waiting input (the preview's checks).
  void ProcessEvents() override;
  void ShowMessage(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  void SetBusyCursor(bool busy) override;
  void SetStatusText(const std::string& text) override;
  std::vector<std::string> OpenPictures(const std::string& folder, const std::string& fileName,
                                        bool multiSelect) override;
  std::string OpenFile(const std::string& title, const std::string& filter, const std::string& folder,
                       const std::string& fileName,
                       const std::string& defaultExt) override;
  std::string SaveFile(const std::string& title, const std::string& filter, const std::string& folder,
                       const std::string& fileName,
                       const std::string& defaultExt) override;
  bool PickColor(uint32_t& color) override;
  bool ShowHelp(const std::string& file) override;
  bool HookKeys(std::function<void(uint32_t, uint32_t)> handler) override;
  bool HookMouse(std::function<bool(uint32_t, uint32_t)> handler) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FlushCanvas();
  QElapsedTimer Clock_;
  bool Escape_ = false;         // the Escape key is down
  bool EscapeTapped_ = false;   // pressed since EscapePressed last answered
  qint64 EscapeTapAt_ = 0;      // when, on Clock_
  static constexpr qint64 EscapeTapMemoryMs = 500;
  int BusyDepth_ = 0;
  QPointer<TQtViewCanvas> Canvas_;
  std::function<void(uint32_t, uint32_t)> KeyHook_;
  std::function<bool(uint32_t, uint32_t)> MouseHook_;
};

// The windowing system's virtual key code of a Qt key (0 for keys it has none for).
uint32_t VirtualKeyOf(int qtKey);
