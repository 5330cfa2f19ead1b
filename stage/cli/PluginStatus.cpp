// Reading the headless platform's record of the plug-in's status and messages.
#include "stage/cli/PluginStatus.h"

#include "host/Platform.h"

namespace stage::cli {

TPluginStatus::TPluginStatus() : Platform_(dynamic_cast<THeadlessPlatform*>(&Platform())) {
  if (Platform_) Seen_ = static_cast<int>(Platform_->Messages.size());
}

THeadlessPlatform* TPluginStatus::Current() {
  THeadlessPlatform* now = dynamic_cast<THeadlessPlatform*>(&Platform());
  // A platform installed since: all its messages are new.
  if (now != Platform_) Seen_ = 0;
  Platform_ = now;
  return now;
}

std::vector<std::string> TPluginStatus::NewMessages() {
  if (!Current()) return {};
  const auto& all = Platform_->Messages;
  if (Seen_ > static_cast<int>(all.size())) Seen_ = 0;
  std::vector<std::string> fresh(all.begin() + Seen_, all.end());
  Seen_ = static_cast<int>(all.size());
  return fresh;
}

std::string TPluginStatus::TakeStatus() {
  if (!Current()) return {};
  std::string text = std::move(Platform_->StatusText);
  Platform_->StatusText.clear();
  return text;
}

}  // namespace stage::cli
