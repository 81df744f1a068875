// The devhost's stdout: one "[devhost] ..." line per call, written whole and
// flushed at once (the output is read through pipes). Any thread.
#pragma once

#include <string>

namespace devhost {

void PrintLine(const std::string& text);  // prints "[devhost] " + text + "\n"

// Shows a body on one line: line feed and carriage return become \n and \r.
std::string OneLine(const std::string& text);

}  // namespace devhost
