#include "ipc/envelope.h"

#include <nlohmann/json.hpp>

#include "diag/json_string.h"
#include "diag/strict_json.h"

namespace lumo {

std::string BuildEnvelope(const std::string& msg, const std::string& body) {
  // Written directly rather than through a JSON document: one string, no
  // intermediate copies, and the keys already in sorted order.
  try {
    std::string out;
    out.reserve(body.size() + msg.size() + 24);
    out.append("{\"body\":\"");
    if (!AppendJsonStringContent(out, body.data(), body.size())) return std::string();
    out.append("\",\"msg\":\"");
    if (!AppendJsonStringContent(out, msg.data(), msg.size())) return std::string();
    out.append("\"}");
    return out;
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
