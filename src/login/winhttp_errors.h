// Names for the errors a login meets, for its failure lines: a support team
// reading a player's log must tell a proxy from a certificate from a
// firewall. A fixed table; no Windows calls, so any thread may call.
#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// "WinHTTP error 12007 ERROR_WINHTTP_NAME_NOT_RESOLVED (<what it means>)"
// for an error in the table (WinHTTP's own, 12001..12188, and the few
// Windows errors the login's calls give), else "Windows error <n>".
std::wstring DescribeLoginError(uint32_t error);

// The certificate status flags that WinHTTP reports with a failed TLS
// handshake (WINHTTP_CALLBACK_STATUS_SECURE_FAILURE), as
// "certificate status 0x00000018: INVALID_CA (...), CERT_CN_INVALID (...)";
// bits without a name are left to the hexadecimal value. Empty for 0.
std::wstring DescribeSecureFailureFlags(uint32_t flags);

}  // namespace lumo
