#include "updater/windows_command_line.h"

namespace zarn {

std::string QuoteArgument(const std::string& value) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(2 * backslashes + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

std::vector<std::string> SplitCommandLine(const std::string& parameters) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  std::size_t i = 0;
  const std::size_t n = parameters.size();
  while (i < n) {
    const char c = parameters[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (in_argument) arguments.push_back(current);
      current.clear();
      in_argument = false;
      ++i;
      continue;
    }
    in_argument = true;
    if (c == '\\') {
      std::size_t count = 0;
      while (i < n && parameters[i] == '\\') {
        ++count;
        ++i;
      }
      if (i < n && parameters[i] == '"') {
        current.append(count / 2, '\\');
        if (count % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < n && parameters[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (in_argument) arguments.push_back(current);
  return arguments;
}

}  // namespace zarn
