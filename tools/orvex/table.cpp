#include "table.h"

#include <algorithm>

namespace orvex::cli {

Table::Table(std::vector<Column> columns) : columns(std::move(columns)) {}

void Table::add(std::vector<std::string> row) {
    row.resize(columns.size());
    rows.push_back(std::move(row));
}

std::size_t Table::width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Table::text() const {
    std::vector<std::size_t> widths;
    for (const Column& c : columns) widths.push_back(width(c.heading));
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], width(row[i]));

    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::string pad(widths[i] - width(cells[i]), ' ');
            const bool last = i + 1 == columns.size();
            if (columns[i].align == Align::right)
                text += pad + cells[i];
            else
                text += cells[i] + (last ? "" : pad);
            if (!last) text += "  ";
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    };
    std::vector<std::string> headings;
    for (const Column& c : columns) headings.push_back(c.heading);
    line(headings);
    std::vector<std::string> rule;
    for (std::size_t w : widths) rule.push_back(std::string(w, '-'));
    line(rule);
    for (const auto& row : rows) line(row);
    return out;
}

void Table::print(std::FILE* out) const {
    const std::string t = text();
    std::fwrite(t.data(), 1, t.size(), out);
}

}  // namespace orvex::cli
