// The pure pieces: envelope bytes, region layout, name rules, receive lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ipc/envelope.h"
#include "ipc/host_requests.h"
#include "ipc/ipc_names.h"
#include "ipc/receive_text.h"
#include "ipc/shm_layout.h"

namespace {

using lumo::BuildEnvelope;
using lumo::ParseEnvelope;

struct BuildCase {
  std::string msg;
  std::string body;
  std::string envelope;
};

class EnvelopeBuild : public ::testing::TestWithParam<BuildCase> {};

TEST_P(EnvelopeBuild, ExactBytesAndRoundTrip) {
  const BuildCase& c = GetParam();
  const std::string env = BuildEnvelope(c.msg, c.body);
  EXPECT_EQ(env, c.envelope);
  std::string msg = "stale", body = "stale";
  ASSERT_TRUE(ParseEnvelope(env, msg, body));
  EXPECT_EQ(msg, c.msg);
  EXPECT_EQ(body, c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvelopeBuild,
    ::testing::Values(
        BuildCase{lumo::kMsgShowPay, "[\"1\",\"x\"]",
                  "{\"body\":\"[\\\"1\\\",\\\"x\\\"]\",\"msg\":\"IpcMsg_GameSDK_ShowPay\"}"},
        BuildCase{"A", "a\nb\tc\\d", "{\"body\":\"a\\nb\\tc\\\\d\",\"msg\":\"A\"}"},
        BuildCase{"A", std::string("\x01\x1f\b\f\r", 5), "{\"body\":\"\\u0001\\u001f\\b\\f\\r\",\"msg\":\"A\"}"},
        BuildCase{"A", "a/b \xc3\xa9\xe2\x82\xac", "{\"body\":\"a/b \xc3\xa9\xe2\x82\xac\",\"msg\":\"A\"}"},
        BuildCase{"", "", "{\"body\":\"\",\"msg\":\"\"}"},
        BuildCase{"N\"ame", std::string("x\0y", 3), "{\"body\":\"x\\u0000y\",\"msg\":\"N\\\"ame\"}"}));

TEST(EnvelopeBuild, InvalidUtf8GivesNothingInsteadOfThrowing) {
  EXPECT_EQ(BuildEnvelope("A", "\xff\xfe"), "");
  EXPECT_EQ(BuildEnvelope("\xc3", "x"), "");
}

// The messages to the host are written straight into one string, their
// JSON array body inside the envelope's string: the bytes a host reads,
// spelled out (the fuzz target compares them with the JSON serialiser's).
TEST(HostRequests, ShowPayAndWndReadyBytes) {
  const std::string text = "say \"hi\" \\ \n\x01 caf\xc3\xa9 \xf0\x9f\x98\x80";
  EXPECT_EQ(lumo::BuildShowPayEnvelope(-42, text.data(), text.size()),
            R"({"body":"[\"-42\",\"say \\\"hi\\\" \\\\ \\n\\u0001 caf)"
            "\xc3\xa9 \xf0\x9f\x98\x80"
            R"(\"]","msg":"IpcMsg_GameSDK_ShowPay"})");
  EXPECT_EQ(lumo::BuildShowPayEnvelope(7, "", 0), R"({"body":"[\"7\",\"\"]","msg":"IpcMsg_GameSDK_ShowPay"})");
  const std::string channel = "ipc_channel_game_t\"k";
  EXPECT_EQ(lumo::BuildWndReadyEnvelope(1, 18446744073709551615ull, channel.data(), channel.size()),
            R"({"body":"[\"1\",\"18446744073709551615\",\"ipc_channel_game_t\\\"k\"]",)"
            R"("msg":"IpcMsg_GameSDK_GameWndReady"})");
}

TEST(HostRequests, TextThatIsNotUtf8GivesNothing) {
  // Cut-off sequence, overlong '/', a surrogate, past U+10FFFF, a lone byte.
  for (const std::string bad : {"ok\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "a\x80"}) {
    EXPECT_EQ(lumo::BuildShowPayEnvelope(1, bad.data(), bad.size()), "");
    EXPECT_EQ(lumo::BuildWndReadyEnvelope(1, 2, bad.data(), bad.size()), "");
    EXPECT_EQ(BuildEnvelope("A", bad), "");
  }
}

struct ParseCase {
  std::string data;
  bool ok;
  std::string msg;
  std::string body;
};

class EnvelopeParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(EnvelopeParse, Reads) {
  const ParseCase& c = GetParam();
  std::string msg = "stale", body = "stale";
  EXPECT_EQ(ParseEnvelope(c.data, msg, body), c.ok) << c.data;
  EXPECT_EQ(msg, c.msg);
  EXPECT_EQ(body, c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvelopeParse,
    ::testing::Values(
        // Non-string bodies come back re-serialised compactly.
        ParseCase{R"({"msg":"A","body":{"k":1}})", true, "A", R"({"k":1})"},
        ParseCase{R"({"msg":"A","body":[1, 2]})", true, "A", "[1,2]"},
        ParseCase{R"({"msg":"A","body":true})", true, "A", "true"},
        ParseCase{R"({"msg":"A","body":"\u00e9"})", true, "A", "\xc3\xa9"},
        ParseCase{R"({"msg":"A","body":null})", true, "A", ""},
        ParseCase{R"(  {"msg" : "A" , "x":1}  )", true, "A", ""},
        ParseCase{R"({"msg":""})", true, "", ""},
        // Rejected: both outputs empty.
        ParseCase{R"({"msg":5,"body":"x"})", false, "", ""},
        ParseCase{R"(["msg","body"])", false, "", ""},
        ParseCase{"", false, "", ""},
        ParseCase{R"({"msg":"A"}x)", false, "", ""},
        ParseCase{R"({"msg":"A"}{"msg":"B"})", false, "", ""},
        // A NUL does not end the text: what follows it is still trailing text.
        ParseCase{std::string("{\"msg\":\"A\"}\0{}", 14), false, "", ""},
        ParseCase{R"({"body":"x"})", false, "", ""},
        ParseCase{"{\"msg\":\"A\xff\"}", false, "", ""},
        ParseCase{R"({"msg":"A",/*c*/"body":"x"})", false, "", ""},
        ParseCase{R"({"msg":"A","body":"x")", false, "", ""}));

// Region layout, on plain memory.
TEST(RegionLayout, FullPayloadFillsTheRegionAndOneMoreLeavesItUntouched) {
  std::vector<unsigned char> region(lumo::kShmRegionSize, 0xEE);
  const std::string full(lumo::kShmMaxPayload, 'z');
  ASSERT_TRUE(lumo::StoreRegionMessage(region.data(), lumo::kShmRegionSize, full));
  EXPECT_EQ(region[0], 0xFC);  // 2044 little-endian
  EXPECT_EQ(region[1], 0x07);
  EXPECT_EQ(region[2], 0);
  EXPECT_EQ(region[3], 0);
  EXPECT_EQ(region[2047], 'z');

  const std::vector<unsigned char> before = region;
  EXPECT_FALSE(lumo::StoreRegionMessage(region.data(), lumo::kShmRegionSize, full + "y"));
  EXPECT_EQ(region, before);
}

TEST(RegionLayout, StoredLengthDecidesWhatIsRead) {
  std::vector<unsigned char> region(lumo::kShmRegionSize, 0);
  std::string out = "stale";
  EXPECT_TRUE(lumo::LoadRegionMessage(region.data(), lumo::kShmRegionSize, out));  // fresh region
  EXPECT_EQ(out, "");

  ASSERT_TRUE(lumo::StoreRegionMessage(region.data(), lumo::kShmRegionSize, "longer message"));
  ASSERT_TRUE(lumo::StoreRegionMessage(region.data(), lumo::kShmRegionSize, "short"));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(region.data()) + 4, 14), "shortr message");
  EXPECT_TRUE(lumo::LoadRegionMessage(region.data(), lumo::kShmRegionSize, out));
  EXPECT_EQ(out, "short");

  for (uint32_t bad : {2045u, 3000u, 0xFFFFFFFFu}) {
    std::memcpy(region.data(), &bad, 4);
    out = "stale";
    EXPECT_FALSE(lumo::LoadRegionMessage(region.data(), lumo::kShmRegionSize, out)) << bad;
    EXPECT_EQ(out, "");
  }
  EXPECT_FALSE(lumo::LoadRegionMessage(nullptr, lumo::kShmRegionSize, out));
  EXPECT_FALSE(lumo::LoadRegionMessage(region.data(), 3, out));
}

TEST(ChannelName, LengthLimitKeepsEventNamesInTheirBuffers) {
  const std::string longest(lumo::kShmMaxChannelName, 'n');
  EXPECT_EQ(lumo::kShmMaxChannelName, 242u);
  EXPECT_TRUE(lumo::IsUsableChannelName(longest.c_str()));
  EXPECT_FALSE(lumo::IsUsableChannelName((longest + "n").c_str()));
  EXPECT_FALSE(lumo::IsUsableChannelName(""));
  EXPECT_FALSE(lumo::IsUsableChannelName(nullptr));

  char out[lumo::kShmEventNameCapacity];
  ASSERT_TRUE(lumo::FormatEventName(longest.c_str(), lumo::kShmClientEventSuffix, out));
  EXPECT_EQ(std::string(out), longest + "_client_njipc");
  EXPECT_EQ(std::strlen(out), 255u);
}

struct LineCase {
  size_t bodyLength;
  std::string shownTail;
};

class ReceivedLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReceivedLine, CutsLongBodies) {
  const std::string body(GetParam().bodyLength, 'b');
  const std::string line = lumo::FormatReceivedLine("M", body, 9999);
  const std::string shown = std::string(std::min<size_t>(body.size(), 512), 'b') + GetParam().shownTail;
  EXPECT_EQ(line, "[IPC recv] size=9999 msg=M body=" + shown + "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, ReceivedLine,
                         ::testing::Values(LineCase{0, ""}, LineCase{512, ""}, LineCase{513, "...(+1 bytes)"},
                                           LineCase{600, "...(+88 bytes)"}));

TEST(ReceivedLine, ExampleEnvelope) {
  EXPECT_EQ(lumo::FormatReceivedLine("A", "{}", 23), "[IPC recv] size=23 msg=A body={}\n");
  // The size is printed in full, whatever its width; name and body bytes as they are.
  EXPECT_EQ(lumo::FormatReceivedLine("", std::string("a\0b", 3), UINT64_MAX),
            std::string("[IPC recv] size=18446744073709551615 msg= body=a\0b\n", 51));
}

}  // namespace
