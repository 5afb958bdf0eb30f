#ifndef ZARN_UPDATER_WINDOWS_COMMAND_LINE_H_
#define ZARN_UPDATER_WINDOWS_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace zarn {

// The downloader takes its parameters as one command-line string, as a Windows program
// does; these follow the Windows splitting rules so that both ends agree.

// `value` as one argument: between double quotes, with a quote written as \" and the
// backslashes before a quote (or before the closing quote) doubled. Splitting the result
// gives `value` back, whatever it holds.
std::string QuoteArgument(const std::string& value);

// The arguments of a parameter string: white space separates them outside quotes; 2n
// backslashes before a quote give n and the quote opens or closes quoting; 2n + 1 give n
// and a literal quote; other backslashes are literal; "" inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& parameters);

}  // namespace zarn

#endif  // ZARN_UPDATER_WINDOWS_COMMAND_LINE_H_
