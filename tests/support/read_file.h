// Whole-file reading for tests that check what the library wrote.
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Lines of a log: split at CR LF, the prefix "milliseconds:" removed. A line
// that does not start with digits and ':' is kept whole with a leading '!'.
inline std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') digits++;
    if (digits > 0 && digits < line.size() && line[digits] == ':') lines.push_back(line.substr(digits + 1));
    else lines.push_back("!" + line);
    start = end + 2;
  }
  return lines;
}
