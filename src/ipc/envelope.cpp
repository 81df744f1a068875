#include "ipc/envelope.h"

#include <nlohmann/json.hpp>

#include "diag/strict_json.h"

namespace lumo {

std::string BuildEnvelope(const std::string& msg, const std::string& body) {
  try {
    nlohmann::json envelope = nlohmann::json::object();
    envelope["msg"] = msg;
    envelope["body"] = body;
    return DumpCompactJson(envelope);
  } catch (...) {
    return std::string();
  }
}

bool ParseEnvelope(const std::string& data, std::string& msg, std::string& body) {
  msg.clear();
  body.clear();
  try {
    if (data.empty()) return false;
    nlohmann::json value;
    if (!ParseStrictJson(data, value)) return false;
    if (!value.is_object()) return false;
    const auto msgIt = value.find("msg");
    if (msgIt == value.end() || !msgIt->is_string()) return false;
    std::string name = msgIt->get<std::string>();
    std::string text;
    const auto bodyIt = value.find("body");
    if (bodyIt != value.end()) {
      if (bodyIt->is_string()) {
        text = bodyIt->get<std::string>();
      } else if (!bodyIt->is_null()) {
        text = DumpCompactJson(*bodyIt);
      }
    }
    msg = std::move(name);
    body = std::move(text);
    return true;
  } catch (...) {
    msg.clear();
    body.clear();
    return false;
  }
}

}  // namespace lumo
