#include "ipc/envelope.h"

#include <nlohmann/json.hpp>

#include "diag/json_string.h"
#include "diag/strict_json.h"

namespace lumo {

namespace {

// Inside the envelope's "body" string an array's own quotes appear escaped
// (\"), and its strings' contents are escaped twice.
constexpr char kArrayOpen[] = "[\\\"";
constexpr char kArraySeparator[] = "\\\",\\\"";
constexpr char kArrayClose[] = "\\\"]";

}  // namespace

std::string WriteEnvelope(const char* msg, size_t msgSize, const char* text, size_t textSize,
                          const ArrayBody* array) {
  // Written directly rather than through a JSON document: one string, no
  // intermediate copies, and the keys already in sorted order. Most text
  // needs no escaping: one allocation in the common case.
  size_t leadingSize = 0;
  const size_t leadingCount = array != nullptr ? array->count : 0;
  for (size_t i = 0; i < leadingCount; ++i) leadingSize += array->leading[i].size() + sizeof(kArraySeparator);
  std::string out;
  out.reserve(leadingSize + textSize + textSize / 8 + msgSize + 40);
  out.append("{\"body\":\"");
  if (array != nullptr) {
    out.append(kArrayOpen);
    for (size_t i = 0; i < leadingCount; ++i) {
      out.append(array->leading[i]);
      out.append(kArraySeparator);
    }
    if (!AppendJsonStringContent(out, text, textSize, 2)) return std::string();
    out.append(kArrayClose);
  } else if (!AppendJsonStringContent(out, text, textSize)) {
    return std::string();
  }
  out.append("\",\"msg\":\"");
  if (!AppendJsonStringContent(out, msg, msgSize)) return std::string();
  out.append("\"}");
  return out;
}

std::string BuildEnvelope(const std::string& msg, const std::string& body) {
  try {
    return WriteEnvelope(msg.data(), msg.size(), body.data(), body.size());
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
