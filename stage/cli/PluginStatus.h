// What the plug-in tells its user while the command-line host runs it: the main panel's status
// text and the message boxes it showed (errors), both recorded by the headless platform. The
// plug-in reaches the program's platform because the program exports its symbols; a plug-in
// built with its own hidden copy reports nothing here (no status, no messages).
#pragma once

#include <string>
#include <vector>

class THeadlessPlatform;

namespace stage::cli {

class TPluginStatus {
 public:
  // Reads the installed platform at every call (the plug-in may install its own at start-up);
  // reports nothing while it is not a headless one.
  TPluginStatus();

  // Messages shown since the previous call (or since construction).
  std::vector<std::string> NewMessages();
  // The status text, then cleared, so that the next frame's text is not mistaken for this one's.
  std::string TakeStatus();

 private:
  THeadlessPlatform* Platform_ = nullptr;  // the platform Seen_ counts on
  int Seen_ = 0;
  THeadlessPlatform* Current();
};

}  // namespace stage::cli
