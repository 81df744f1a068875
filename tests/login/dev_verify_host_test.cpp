// The development override's value: only loopback names with a port pass.
#include "login/dev_verify_host.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lumo::DevVerifyHost;

struct Case {
  std::string value;
  DevVerifyHost verdict;
  std::string hostPort;  // on kHonoured
};

const Case kCases[] = {
    {"localhost:8443", DevVerifyHost::kHonoured, "localhost:8443"},
    {"127.0.0.1:1", DevVerifyHost::kHonoured, "127.0.0.1:1"},
    {"[::1]:65535", DevVerifyHost::kHonoured, "[::1]:65535"},
    {"  LocalHost:0443\t", DevVerifyHost::kHonoured, "localhost:443"},
    {"", DevVerifyHost::kAbsent, ""},
    {" \t ", DevVerifyHost::kAbsent, ""},
    {"localhost", DevVerifyHost::kNoPort, ""},
    {"localhost:", DevVerifyHost::kNoPort, ""},
    {"[::1]", DevVerifyHost::kNoPort, ""},
    {"127.0.0.1", DevVerifyHost::kNoPort, ""},
    {"localhost:0", DevVerifyHost::kBadPort, ""},
    {"localhost:65536", DevVerifyHost::kBadPort, ""},
    {"localhost:99999999999999999999", DevVerifyHost::kBadPort, ""},
    {"localhost:+80", DevVerifyHost::kBadPort, ""},
    {"localhost:80/path", DevVerifyHost::kBadPort, ""},
    {"localhost:8 0", DevVerifyHost::kBadPort, ""},
    {"login.example.com:443", DevVerifyHost::kNotLoopback, ""},
    {"login.example.com", DevVerifyHost::kNotLoopback, ""},
    {"localhost.example.com:443", DevVerifyHost::kNotLoopback, ""},
    {"evil.com@localhost:443", DevVerifyHost::kNotLoopback, ""},
    {"localhost@evil.com:443", DevVerifyHost::kNotLoopback, ""},
    {"127.0.0.2:443", DevVerifyHost::kNotLoopback, ""},
    {"127.1:443", DevVerifyHost::kNotLoopback, ""},
    {"0.0.0.0:443", DevVerifyHost::kNotLoopback, ""},
    {"::1:443", DevVerifyHost::kNotLoopback, ""},
    {"[::1]x:443", DevVerifyHost::kNotLoopback, ""},
    {"[::1:443", DevVerifyHost::kNotLoopback, ""},
    {"https://localhost:443", DevVerifyHost::kNotLoopback, ""},
    {"localhost:80:90", DevVerifyHost::kNotLoopback, ""},
    {std::string("localhost\0:80", 13), DevVerifyHost::kNotLoopback, ""},
};

TEST(DevVerifyHost, OnlyLoopbackNamesWithAPortAreHonoured) {
  for (const Case& c : kCases) {
    std::string hostPort = "stale";
    EXPECT_EQ(lumo::ParseDevVerifyHost(c.value, hostPort), c.verdict) << "[" << c.value << "]";
    EXPECT_EQ(hostPort, c.hostPort) << "[" << c.value << "]";
  }
}

}  // namespace
