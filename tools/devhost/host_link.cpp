#include "devhost/host_link.h"

#include <nlohmann/json.hpp>

#include "devhost/host_window_dpi.h"
#include "devhost/output.h"
#include "diag/hex_text.h"
#include "ipc/envelope.h"
#include "ipc/reader_take.h"
#include "ipc/ipc_names.h"

namespace devhost {

namespace {

// How long a send waits for the game to take the previous message before it
// overwrites it anyway (the channel holds one message and has no ack).
constexpr DWORD kTakeTimeoutMs = 3000;
// Between the game's wake-up and its copy of the region.
constexpr DWORD kReadGraceMs = 20;

}  // namespace

std::string GameChannelFromReadyBody(const std::string& body) {
  try {
    const nlohmann::json value = nlohmann::json::parse(body);
    if (value.is_array() && value.size() >= 3 && value[2].is_string()) return value[2].get<std::string>();
  } catch (...) {
  }
  return std::string();
}

HWND GameWindowFromReadyBody(const std::string& body) {
  try {
    const nlohmann::json value = nlohmann::json::parse(body);
    if (value.is_array() && value.size() >= 2 && value[1].is_string()) {
      const std::string digits = value[1].get<std::string>();
      if (digits.empty() || digits.size() > 20 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return nullptr;
      }
      return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(digits)));
    }
  } catch (...) {
  }
  return nullptr;
}

GameSender::~GameSender() {
  if (endpoint_.status == lumo::ShmStatus::Ok) endpoint_.Close();
}

void GameSender::SetChannel(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock_);
  if (name != channel_) {
    if (endpoint_.status == lumo::ShmStatus::Ok) endpoint_.Close();
    signalled_ = false;
    channel_ = name;
  }
  while (!waiting_.empty()) {
    SendNow(waiting_.front().first, waiting_.front().second);
    waiting_.pop_front();
  }
}

void GameSender::Send(const std::string& msg, const std::string& body) {
  std::lock_guard<std::mutex> guard(lock_);
  if (channel_.empty()) {
    waiting_.emplace_back(msg, body);
    return;
  }
  SendNow(msg, body);
}

void GameSender::WaitUntilTaken() {
  if (!signalled_) return;
  if (lumo::WaitForReaderToTake(endpoint_.serverEvent.handle, kTakeTimeoutMs, 5) == lumo::TakeWait::Unknown) {
    Sleep(200);
    return;
  }
  Sleep(kReadGraceMs);
}

void GameSender::SendNow(const std::string& msg, const std::string& body) {
  if (endpoint_.serverEvent.handle == nullptr) {
    endpoint_ = lumo::ShmEndpoint::Open(channel_.c_str());
    if (endpoint_.status != lumo::ShmStatus::Ok) {
      PrintLine("send-failed " + msg + " open " + channel_ + " status=" +
                std::to_string(static_cast<int>(endpoint_.status)));
      endpoint_ = lumo::ShmEndpoint{};
      return;
    }
    signalled_ = false;
  }
  const std::string envelope = lumo::BuildEnvelope(msg, body);
  if (envelope.empty()) {
    PrintLine("send-failed " + msg + " body is not valid UTF-8");
    return;
  }
  WaitUntilTaken();
  if (!endpoint_.Write(envelope)) {
    PrintLine("send-failed " + msg + " envelope of " + std::to_string(envelope.size()) + " bytes does not fit");
    return;
  }
  SetEvent(endpoint_.serverEvent.handle);
  signalled_ = true;
  PrintLine("sent " + msg + " " + OneLine(body));
}

HostChannelReader::~HostChannelReader() { Stop(); }

bool HostChannelReader::Start(lumo::ShmEndpoint* endpoint, GameSender* sender, bool printRaw,
                              unsigned readDelayMs, std::function<void()> onGameReady) {
  endpoint_ = endpoint;
  printRaw_ = printRaw;
  readDelayMs_ = readDelayMs;
  sender_ = sender;
  onGameReady_ = std::move(onGameReady);
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stop_) return false;
  return thread_.Create([this] { ThreadMain(); });
}

void HostChannelReader::Stop() {
  if (stop_) SetEvent(stop_);
  // Returns once the reader has seen the stop (after the message it prints).
  if (!thread_.Join()) thread_.LetGo();
  if (stop_) CloseHandle(stop_);
  stop_ = nullptr;
}

void HostChannelReader::ThreadMain() {
  const HANDLE waits[2] = {endpoint_->serverEvent.handle, stop_};
  for (;;) {
    // The channel first, so a message announced before the stop is printed.
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
    std::string data;
    const bool read = endpoint_->Read(data);
    // Busy with the message: the next one must wait for this thread.
    if (readDelayMs_ != 0 && WaitForSingleObject(stop_, readDelayMs_) == WAIT_OBJECT_0) return;
    if (!read) {
      PrintLine("recv-invalid stored length too large");
      continue;
    }
    if (printRaw_) PrintLine("raw " + lumo::ToHex(data));
    std::string msg, body;
    if (!lumo::ParseEnvelope(data, msg, body)) {
      PrintLine("recv-invalid not an envelope (" + std::to_string(data.size()) + " bytes)");
      continue;
    }
    PrintLine("recv " + msg + " " + OneLine(body));
    if (msg == lumo::kMsgGameWndReady) {
      const std::string channel = GameChannelFromReadyBody(body);
      if (channel.empty()) {
        PrintLine("error GameWndReady body names no channel");
      } else {
        PrintLine("game channel=" + channel);
        sender_->SetChannel(channel);
      }
      gameWindow_.store(GameWindowFromReadyBody(body));
      PrintLine(DescribeGameWindowDpi(gameWindow_.load()));
      if (onGameReady_) onGameReady_();
    }
  }
}

}  // namespace devhost
