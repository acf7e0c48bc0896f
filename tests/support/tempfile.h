// Files that a test writes and removes again: unique names in the system's temporary
// folder, so suites running side by side never share one.
#pragma once

#include <string>

// A fresh path (nothing is created) whose name starts with `stem`.
std::string test_temp_path(const char *stem);
// Writes `bytes` exactly (binary) to a fresh path and returns it.
std::string test_temp_file(const char *stem, const std::string &bytes);
// The whole file as bytes (binary); empty when it cannot be read.
std::string test_read_file(const std::string &path);
