// Reading the plug-in's reports from the stage.
#include "stage/PluginStatus.h"

#include "stage/Stage.h"

namespace stage {

TPluginStatus::TPluginStatus() : Seen_(Stage().PluginMessages.size()) {}

std::vector<std::string> TPluginStatus::NewMessages() {
  const auto& all = Stage().PluginMessages;
  if (Seen_ > all.size()) Seen_ = 0;  // a new stage since
  std::vector<std::string> fresh(all.begin() + static_cast<long>(Seen_), all.end());
  Seen_ = all.size();
  return fresh;
}

std::string TPluginStatus::TakeStatus() {
  std::string text = std::move(Stage().PluginStatus);
  Stage().PluginStatus.clear();
  return text;
}

}  // namespace stage
