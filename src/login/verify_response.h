// Reading the verify endpoint's JSON answer into a LoginInfo record.
// No platform calls, so it also builds natively for fuzzing. Stateless; any
// thread. The caller owns the record.
#pragma once

#include <cstdint>
#include <string>

#include "LumoGameSDK.h"

namespace lumo {

// True when `body` is exactly one JSON object with "code" 0 and a "data"
// object whose "uid" is positive and whose "appid" and "sid" are non-empty.
// Fields of "data" are stored into `info` as they are read (uid, time, utype,
// appid, sid), so a later failure leaves the earlier ones in place. Never
// throws.
bool ParseVerifyResponse(const std::string& body, LoginInfo* info);

// The server's own verdict: "code" of an answer that is exactly one JSON
// object with a "code" read as ParseVerifyResponse reads it. False (and
// `code` untouched) for anything else. Never throws.
bool ReadVerifyCode(const std::string& body, int32_t& code);

// Converts UTF-8 `text` to UTF-16 into a 64-unit field of LoginInfo: at most
// 63 units of whole characters (a pair that does not fit is left out),
// stopping at the first zero unit, the rest zero-filled. Ill-formed bytes
// become U+FFFD. A null field is left alone.
void CopyUtf8Field(wchar_t* field, const std::string& text);

}  // namespace lumo
