#pragma once
// The host passes one line of Key:Value words. GetCommandArg cuts one value out of
// it; the line as received is kept once for the whole run.
#include <string>
#include <vector>

namespace tolvarin {

// The value of key in the line, "" when the key is absent. The key is found at its
// first occurrence anywhere, without regard to case and without a word boundary; a
// value that starts with a double quote runs to the next one, any other to the next
// blank; no terminator means the end of the line.
std::string GetCommandArg(const std::string& commandLine, const std::string& key);

// The command line as the host passed it (set once by main).
const std::string& CommandLine();
void SetCommandLine(std::string commandLine);

// Joins program arguments with blanks as the host would have written the line: an
// argument holding a blank and no double quote gets its value (after the first
// colon, or the whole argument when it has none) put in double quotes.
std::string JoinArguments(const std::vector<std::string>& args);

}  // namespace tolvarin
