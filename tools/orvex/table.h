// Plain-text tables for the terminal: columns as wide as their widest cell, numbers
// aligned right.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orvex::cli {

class Table {
public:
    enum class Align { left, right };
    struct Column {
        std::string heading;
        Align align = Align::left;
    };

    explicit Table(std::vector<Column> columns);
    // Missing cells are left empty, extra ones dropped.
    void add(std::vector<std::string> row);
    std::string text() const;
    void print(std::FILE* out = stdout) const;

    // Characters as a terminal shows them (UTF-8 continuation bytes do not count).
    static std::size_t width(const std::string& text);

private:
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;
};

}  // namespace orvex::cli
