// Every envelope is written by one writer, by direct escaping (WriteEnvelope,
// behind BuildEnvelope and the library's two requests to the host). The JSON
// library's serialiser, which shares no code with it, is the reference each
// must match byte for byte, and both must refuse the same input (text that
// is not valid UTF-8).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "diag/json_string.h"
#include "diag/strict_json.h"
#include "fuzz_check.h"
#include "ipc/envelope.h"
#include "ipc/host_requests.h"
#include "ipc/ipc_names.h"

namespace {

// The reference: a JSON document dumped by the library's serialiser, or
// empty when it refuses the text.
std::string ReferenceEnvelope(const std::string& msg, const std::string& body) {
  try {
    nlohmann::json envelope = nlohmann::json::object();
    envelope["msg"] = msg;
    envelope["body"] = body;
    return lumo::DumpCompactJson(envelope);
  } catch (const nlohmann::json::exception&) {
    return std::string();
  }
}

// Empty when a text is refused, as the body is then never wrapped.
std::string ReferenceBody(std::initializer_list<std::string> items) {
  try {
    nlohmann::json array = nlohmann::json::array();
    for (const std::string& item : items) array.push_back(item);
    return lumo::DumpCompactJson(array);
  } catch (const nlohmann::json::exception&) {
    return std::string();
  }
}

std::string ReferenceMessage(const char* name, std::initializer_list<std::string> items) {
  const std::string body = ReferenceBody(items);
  return body.empty() ? std::string() : ReferenceEnvelope(name, body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two bytes of numbers, then the text split in two at a point it chooses.
  if (size < 3) return 0;
  const int64_t gameId = static_cast<int64_t>(static_cast<int8_t>(data[0])) * 1000003;
  const uint64_t handle = static_cast<uint64_t>(data[1]) << 33 | data[1];
  const char* text = reinterpret_cast<const char*>(data + 3);
  const size_t textSize = size - 3;
  const size_t split = textSize == 0 ? 0 : data[2] % (textSize + 1);
  const std::string first(text, split), second(text + split, textSize - split);
  const std::string whole(text, textSize);

  FUZZ_CHECK(lumo::BuildEnvelope(first, second) == ReferenceEnvelope(first, second));
  FUZZ_CHECK(lumo::BuildShowPayEnvelope(gameId, whole.data(), whole.size()) ==
             ReferenceMessage(lumo::kMsgShowPay, {std::to_string(gameId), whole}));
  FUZZ_CHECK(lumo::BuildWndReadyEnvelope(gameId, handle, whole.data(), whole.size()) ==
             ReferenceMessage(lumo::kMsgGameWndReady, {std::to_string(gameId), std::to_string(handle), whole}));

  // Any depth: the content of a string inside a string inside a string.
  std::string nested;
  const bool accepted = lumo::AppendJsonStringContent(nested, whole.data(), whole.size(), 3);
  std::string reference = whole;
  bool referenceAccepted = true;
  for (int level = 0; level < 3 && referenceAccepted; ++level) {
    try {
      reference = lumo::DumpCompactJson(nlohmann::json(reference));
      reference = reference.substr(1, reference.size() - 2);
    } catch (const nlohmann::json::exception&) {
      referenceAccepted = false;
    }
  }
  FUZZ_CHECK(accepted == referenceAccepted);
  if (accepted) FUZZ_CHECK(nested == reference);
  return 0;
}
