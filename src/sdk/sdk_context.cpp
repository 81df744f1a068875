#include "sdk/sdk_context.h"

#include <utility>

namespace lumo {

IpcBlock::~IpcBlock() {
  if (!ipcStarted) return;  // no thread of ours runs: release normally
  if (receiveThread.joinable()) receiveThread.detach();
  if (channel) {
    // Deliberately leaked: its destructor would stop a sender thread that
    // no longer exists.
    new std::shared_ptr<CIPCChannel>(std::move(channel));
  }
}

SdkContext& GetSdkContext() {
  // Constructed once, also when several threads make the first call together.
  static SdkContext ctx;
  return ctx;
}

}  // namespace lumo
