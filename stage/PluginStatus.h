// What the plug-in tells its user while a host renders with it: the status line and the
// messages (errors) it reported through the host's tsxHostShowStatus and tsxHostShowMessage.
#pragma once

#include <string>
#include <vector>

namespace stage {

class TPluginStatus {
 public:
  // Messages already reported before construction are not new.
  TPluginStatus();

  // Messages shown since the previous call (or since construction).
  std::vector<std::string> NewMessages();
  // The status text, then cleared, so that the next frame's text is not mistaken for this one's.
  std::string TakeStatus();

 private:
  size_t Seen_ = 0;
};

}  // namespace stage
