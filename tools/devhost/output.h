// The devhost's stdout: one "[devhost] ..." line per call, written whole and
// flushed at once (the output is read through pipes). Any thread.
#pragma once

#include <string>

namespace devhost {

void PrintLine(const std::string& text);  // prints "[devhost] " + text + "\n"

// Shows a body on one line: line feed and carriage return become \n and \r.
std::string OneLine(const std::string& text);

// A process's exit status: the decimal, and beside it the hex of a status
// with the warning or error bit (an NTSTATUS or exception code, such as
// 0xC0000135, a DLL that was not found): "3221225781 (0xC0000135)".
std::string ExitCodeText(unsigned long code);

}  // namespace devhost
