// The few windowing-system services the plug-in needs, behind one interface with a headless
// implementation (command line, tests) and a desktop one (the studio). One platform is
// installed for the whole program; the headless one is there from the start.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <thread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/DrawSurface.h"

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  virtual void Beep() = 0;
  // A drawing surface on a view window, for the preview; null when the platform has none.
  // Owned by the platform; valid until ReleaseViewSurface for the same window, or until the
  // window goes away.
  virtual TDrawSurface* ViewSurface(void* window) {
    (void)window;
    return nullptr;
  }
  // Gives back a surface ViewSurface handed out for window. Never fails.
  virtual void ReleaseViewSurface(void* window, TDrawSurface* surface) { (void)window, (void)surface; }
  // The window's style bits as the windowing system keeps them (the system-menu bit 0x80000,
  // the caption bits 0xC00000), and the height of a window caption in pixels: a view window
  // with a caption but no system menu has its drawport below the caption.
  virtual uint32_t WindowStyle(void* window) {
    (void)window;
    return 0;
  }
  virtual int32_t CaptionHeight() { return 0; }
  // Milliseconds from an arbitrary start, wrapping at 2^32.
  virtual uint32_t TickCount() = 0;
  // Waits about ms milliseconds without using the processor. Inline, like every member of the
  // base, so that a platform built in a module apart (the Qt one) needs nothing of this library.
  virtual void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // Handles the user input and repaints waiting in the windowing system's queue, so that a loop
  // holding the user-interface thread (the preview) still sees Play, Stop, Rewind and Escape.
  // Nothing on a platform without windows.
  virtual void ProcessEvents() {}
  virtual bool EscapePressed() = 0;
  // A modal message box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // A modal Yes/No question; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // The main panel's status line; an empty text clears it.
  virtual void SetStatusText(const std::string& text) { (void)text; }
  // The picture-open dialog (with a preview): starts in folder with fileName preset and returns
  // the full paths picked (at most one unless multiSelect); empty when cancelled. A platform
  // without dialogs cancels.
  virtual std::vector<std::string> OpenPictures(const std::string& folder, const std::string& fileName,
                                                bool multiSelect) {
    (void)folder, (void)fileName, (void)multiSelect;
    return {};
  }
  // File dialogs: filter as "Emitter files (*.vte);;All files (*)", starting in folder with
  // fileName preset; defaultExt (without the dot: "vte") is appended to a typed name that has
  // none. The full path picked; empty when cancelled or without dialogs. The save dialog asks
  // before a file is overwritten.
  virtual std::string OpenFile(const std::string& title, const std::string& filter, const std::string& folder,
                               const std::string& fileName, const std::string& defaultExt = {}) {
    (void)title, (void)filter, (void)folder, (void)fileName, (void)defaultExt;
    return {};
  }
  virtual std::string SaveFile(const std::string& title, const std::string& filter, const std::string& folder,
                               const std::string& fileName, const std::string& defaultExt = {}) {
    (void)title, (void)filter, (void)folder, (void)fileName, (void)defaultExt;
    return {};
  }
  // The colour picker, starting at color (0x00BBGGRR); false when cancelled or without one.
  virtual bool PickColor(uint32_t& color) {
    (void)color;
    return false;
  }
  // Shows the help file (the user guide, Markdown); false when it cannot be shown.
  virtual bool ShowHelp(const std::string& file) {
    (void)file;
    return false;
  }
  // The keyboard and mouse hooks: every key or mouse message of the application passes the
  // handler first with two parameters in the windowing system's convention (virtual key code
  // and key flags; message number and packed position); a mouse handler answering false
  // swallows the message. Installed at most once each; false when the platform has no hooks.
  virtual bool HookKeys(std::function<void(uint32_t wParm, uint32_t lParm)> handler) {
    (void)handler;
    return false;
  }
  virtual bool HookMouse(std::function<bool(uint32_t wParm, uint32_t lParm)> handler) {
    (void)handler;
    return false;
  }
};

// Answers without a user: confirmations say No, dialogs cancel, nothing is shown or heard, unless
// a program or a test scripted the answers (each scripted answer is used once, in order). What
// would have been shown or asked is kept so that a program or a test can read it.
class THeadlessPlatform : public TPlatform {
 public:
  // One dialog as it was asked for.
  struct TDialog {
    std::string Kind;  // "open", "save", "pictures", "color"
    std::string Title, Filter, Folder, FileName, DefaultExt;
  };

  void Beep() override { ++Beeps; }
  // Every window shares the one image.
  TDrawSurface* ViewSurface(void* window) override;
  void ReleaseViewSurface(void* window, TDrawSurface* surface) override;
  uint32_t WindowStyle(void*) override { return ViewStyle; }
  int32_t CaptionHeight() override { return CaptionPixels; }
  // The steady clock, or Ticks while ManualClock is set.
  uint32_t TickCount() override;
  // With ManualClock, advances Ticks by ms at once; otherwise sleeps.
  void Sleep(uint32_t ms) override;
  // Calls OnProcessEvents, where a program or a test plays the user.
  void ProcessEvents() override {
    ++EventPasses;
    if (OnProcessEvents) OnProcessEvents();
  }
  bool EscapePressed() override { return Escape; }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  // The next scripted answer, else No.
  bool Confirm(const std::string& text) override {
    Confirmations.push_back(text);
    return Next(ConfirmAnswers, false);
  }
  void SetBusyCursor(bool busy) override { Busy = busy; }
  void SetStatusText(const std::string& text) override { StatusText = text; }
  std::vector<std::string> OpenPictures(const std::string& folder, const std::string& fileName, bool) override {
    PictureDialogs.push_back(fileName);
    Dialogs.push_back({"pictures", {}, {}, folder, fileName, {}});
    return Next(PictureAnswers, std::vector<std::string>());
  }

  bool ShowHelp(const std::string& helpFile) override {
    HelpRequests.push_back(helpFile);
    return true;
  }
  // The next scripted answer, else FileAnswer (empty: cancelled). The folder the dialog started
  // in is kept in FileDialogFolders too.
  std::string OpenFile(const std::string& title, const std::string& filter, const std::string& folder,
                       const std::string& fileName, const std::string& defaultExt = {}) override {
    FileDialogFolders.push_back(folder);
    Dialogs.push_back({"open", title, filter, folder, fileName, defaultExt});
    return Next(OpenAnswers, FileAnswer);
  }
  std::string SaveFile(const std::string& title, const std::string& filter, const std::string& folder,
                       const std::string& fileName, const std::string& defaultExt = {}) override {
    FileDialogFolders.push_back(folder);
    Dialogs.push_back({"save", title, filter, folder, fileName, defaultExt});
    return Next(SaveAnswers, std::string());
  }
  // The next scripted colour; cancelled without one.
  bool PickColor(uint32_t& color) override {
    Dialogs.push_back({"color", {}, {}, {}, {}, {}});
    if (ColorAnswers.empty()) return false;
    color = Next(ColorAnswers, color);
    return true;
  }

  int Beeps = 0;
  THeadlessDrawSurface Surface;  // the views' drawing surface: 640 × 480 until resized
  int SurfacesHeld = 0;          // handed out and not yet given back
  bool RefuseSurface = false;    // ViewSurface answers null while set
  uint32_t ViewStyle = 0;        // what WindowStyle answers for every window
  int32_t CaptionPixels = 19;
  bool ManualClock = false;
  uint32_t Ticks = 0;
  uint64_t SleptMs = 0;          // all the Sleep calls asked for
  std::function<void()> OnProcessEvents;
  int EventPasses = 0;
  bool Escape = false;
  bool Busy = false;
  std::string StatusText;
  std::vector<std::string> Messages;
  std::vector<std::string> Confirmations;
  std::vector<std::string> PictureDialogs;  // the preset file name of each dialog
  std::vector<std::string> HelpRequests;
  std::vector<std::string> FileDialogFolders;  // the starting folder of each file dialog
  std::string FileAnswer;                      // what open dialogs answer when nothing is scripted
  std::vector<TDialog> Dialogs;                // every dialog asked for, in order

  // ---- Scripted answers, used front first.
  std::deque<bool> ConfirmAnswers;
  std::deque<std::string> OpenAnswers;   // "" cancels
  std::deque<std::string> SaveAnswers;   // "" cancels
  std::deque<uint32_t> ColorAnswers;
  std::deque<std::vector<std::string>> PictureAnswers;

 private:
  template <typename T>
  static T Next(std::deque<T>& answers, T otherwise) {
    if (answers.empty()) return otherwise;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
};

// The installed platform.
TPlatform& Platform();
// Replaces the installed platform; returns the previous one. Null installs a new headless one.
std::unique_ptr<TPlatform> InstallPlatform(std::unique_ptr<TPlatform> platform);
