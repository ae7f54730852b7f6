// What the commands print beside their tables: numbers and levels as text, and a
// table printed indented, with or without its heading rows.
#pragma once

#include <cstdio>
#include <string>

#include "table.h"

namespace orvex::cli {

// `value` through a printf format with one double.
std::string formatted(const char* format, double value);
// "-12.3 dBFS", "-inf dBFS" for silence.
std::string decibels(double db);
// "mono", "stereo", "N channels".
std::string channelWord(int channels);
std::string quoted(const std::string& text);
// Without the spaces and tabs at both ends.
std::string trimmed(const std::string& text);
// Each line of the table after `indent`; its two heading rows left out when
// `headings` is false (a table of name and value cells).
void printTable(const Table& table, const char* indent, bool headings = true, FILE* out = stdout);

}  // namespace orvex::cli
