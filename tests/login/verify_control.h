// Test-side access to the local verify server (tests/login/verify_server.py)
// that the build's LUMO_VERIFY_HOST points at: choosing its answer and
// reading back the request it received. Talks to the server over its own
// WinHTTP code, independent of the library's client. Test threads only.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lumo_test {

// What the server saw last.
struct VerifyRequestRecord {
  int count = 0;      // GETs answered since the server started or was reset
  std::string path;   // raw path and query of the last GET
  // The last GET's query, percent-decoded as UTF-8 by the server.
  std::map<std::string, std::vector<std::string>> query;
  std::map<std::string, int> tokens;  // GETs per token value since reset
  int stalled = 0;                    // connections left without a handshake
};

// LUMO_VERIFY_HOST of this build ("localhost:<port>"). Only this file and
// the library's verify code see the build setting, so a new port rebuilds
// little.
std::wstring VerifyServerHost();

// The server's listener for localhost whose certificate no trusted
// authority signed; 0 when the server has none.
int UntrustedPort();

// The server's listener whose certificate, from the trusted CA, names
// localhost alone (asked as 127.0.0.1, it is a certificate for another
// name); 0 when the server has none.
int OtherNamePort();

// A loopback port nothing listens on: one the system handed out a moment
// ago and that was let go again. 0 when none could be had.
int ClosedLocalPort();

// "https://" + VerifyServerHost() + pathAndQuery.
std::wstring VerifyServerUrl(const std::wstring& pathAndQuery);

// Every later GET is answered with `status` and exactly these body bytes.
bool SetVerifyAnswer(int status, const std::string& body);

// Asks the server's second listener, which never stalls, when `second` is set.
bool ReadLastVerifyRequest(VerifyRequestRecord& out, bool second = false);

// The next connection accepted on the main port gets no TLS handshake: the
// server holds it open until the client leaves.
bool ArmHandshakeStall();

// Forgets the counts (GETs, tokens) and answers 200 with an empty body.
bool ResetVerifyServer();

}  // namespace lumo_test
