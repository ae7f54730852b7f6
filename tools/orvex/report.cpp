#include "report.h"

#include <cmath>

namespace orvex::cli {

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string decibels(double db) { return std::isfinite(db) ? formatted("%.1f dBFS", db) : "-inf dBFS"; }

std::string channelWord(int channels) {
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " channels";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void printTable(const Table& table, const char* indent, bool headings, FILE* out) {
    std::string text = table.text();
    if (!headings) {
        const auto body = text.find('\n', text.find('\n') + 1);
        text = body == std::string::npos ? std::string() : text.substr(body + 1);
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        std::fprintf(out, "%s%s\n", indent, text.substr(start, end - start).c_str());
        start = end == std::string::npos ? text.size() : end + 1;
    }
}

}  // namespace orvex::cli
