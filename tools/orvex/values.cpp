#include "values.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "report.h"

namespace orvex::cli {

namespace {

using Kind = ParameterDescription::Kind;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Lower case without blanks: "1/8bar" finds " 1/8 bar".
std::string squeezed(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (!std::isspace(c)) out += static_cast<char>(std::tolower(c));
    return out;
}

std::string formattedAt(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

bool sameFloat(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

// A number followed by a unit ("1.2kHz", "-6 dB", "80%"); the unit may be empty. Only
// plain decimals count: no hexadecimal, infinity or NaN.
struct Quantity {
    double number = 0.0;
    std::string unit;
};

std::optional<Quantity> quantityOf(const std::string& text) {
    const std::string t = trimmed(text);
    std::size_t digits = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (digits >= t.size() || !(std::isdigit(static_cast<unsigned char>(t[digits])) || t[digits] == '.'))
        return std::nullopt;
    if (t.size() > digits + 1 && t[digits] == '0' && (t[digits + 1] == 'x' || t[digits + 1] == 'X')) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || errno == ERANGE || !std::isfinite(number)) return std::nullopt;
    return Quantity{number, trimmed(std::string(end))};
}

// How many of `unit` one `given` is, when both count the same thing: 1 for the same
// unit (case ignored), 1000 for kHz against Hz, 0.001 for ms against s; none for
// another unit.
std::optional<double> unitScale(const std::string& given, const std::string& unit) {
    auto base = [](const std::string& u) -> std::pair<double, std::string> {
        const std::string l = lower(trimmed(u));
        if (l == "khz") return {1000.0, "hz"};
        if (l == "ms") return {0.001, "s"};
        return {1.0, l};
    };
    const auto [gs, gb] = base(given);
    const auto [us, ub] = base(unit);
    if (gb.empty() || gb != ub) return std::nullopt;
    return gs / us;
}

// A number in its unit as people write it: hertz from 1000 on as kHz.
std::pair<std::string, std::string> shownNumber(double value, const std::string& unit) {
    if (lower(unit) == "hz" && std::fabs(value) >= 1000.0) return {formatted("%g", value / 1000.0), "kHz"};
    return {formatted("%g", value == 0.0 ? 0.0 : value), unit};
}

std::string rangeOf(double minimum, double maximum, const std::string& unit) {
    const auto [low, lowUnit] = shownNumber(minimum, unit);
    const auto [high, highUnit] = shownNumber(maximum, unit);
    if (lowUnit == highUnit) return low + " to " + high + (highUnit.empty() ? "" : " " + highUnit);
    return low + " " + lowUnit + " to " + high + " " + highUnit;
}

std::string joined(const std::vector<std::string>& texts, const std::string& between) {
    std::string text;
    for (std::size_t i = 0; i < texts.size(); ++i) text += (i ? between : "") + texts[i];
    return text;
}

std::vector<std::string> trimmedEntries(const ParameterDescription& d) {
    std::vector<std::string> entries;
    for (const std::string& e : d.entries) entries.push_back(trimmed(e));
    return entries;
}

// The entry `text` names: exactly as written (case ignored) first, then without blanks.
std::optional<int> entryIndex(const std::vector<std::string>& entries, const std::string& text) {
    for (bool squeeze : {false, true})
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (squeeze ? squeezed(entries[i]) == squeezed(text) : lower(entries[i]) == lower(trimmed(text)))
                return static_cast<int>(i);
    return std::nullopt;
}

// The units a number may carry whatever the plug-in: those of sound (hertz, seconds,
// decibels, percent, tempo). A parameter's own unit counts too where its format
// describes it; a display's other words ("x", "st") do not, so that "0.5x" is refused
// as a value rather than searched for.
bool knownUnit(const std::string& unit) {
    static const char* const kKnown[] = {"hz", "khz", "s", "ms", "db", "%", "bpm"};
    const std::string l = lower(trimmed(unit));
    return std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return l == k; });
}

std::string normalisedOnly(const std::string& text) {
    return "VALUE must be a number from 0 to 1 (normalised), got '" + text + "'";
}

float bareValue(const std::string& text, double number) {
    if (number < 0.0 || number > 1.0) throw ValueError(normalisedOnly(text));
    return static_cast<float>(number);
}

// The value the display shows at `value`, in `unit` (the display may change its prefix
// along the range); none when it shows no number in that unit.
std::optional<double> displayed(Target& target, int index, float value, const std::string& unit) {
    target.setValue(index, value);
    const auto shown = quantityOf(target.display(index));
    if (!shown) return std::nullopt;
    if (shown->unit.empty()) return shown->number;
    const auto scale = unitScale(shown->unit, unit);
    if (!scale) return std::nullopt;
    return shown->number * *scale;
}

// Puts a parameter's value back when a search through its display ends, however it ends.
class ValueKept {
public:
    ValueKept(Target& target, int index) : target(target), index(index), kept(target.value(index)) {}
    ~ValueKept() { target.setValue(index, kept); }
    ValueKept(const ValueKept&) = delete;
    ValueKept& operator=(const ValueKept&) = delete;

private:
    Target& target;
    int index;
    float kept;
};

// A plug-in whose format gives no mapping: the value whose display lies nearest
// `wanted`, found by halving the floats of 0..1, which the display is taken to rise or
// fall with steadily.
float searchDisplay(Target& target, int index, const Quantity& wanted, const std::string& text) {
    const ParameterDescription d = target.describe(index);
    const std::string name = trimmed(d.name);
    const std::string shownText = target.display(index);
    const auto current = quantityOf(shownText);
    const std::string unit = current && knownUnit(current->unit) ? current->unit : trimmed(d.unit);
    if (!current)
        throw ValueError(name + " shows no number to search ('" + trimmed(shownText) + "'): give its normalised value " +
                         "from 0 to 1, got '" + text + "'");
    if (!knownUnit(unit))
        throw ValueError(name + " shows no unit of sound ('" + trimmed(shownText) +
                         "'): give its normalised value from 0 to 1, got '" + text + "'");
    const auto scale = unitScale(wanted.unit, unit);
    if (!scale) throw ValueError(name + " is counted in " + unit + ", not " + wanted.unit + ", got '" + text + "'");
    const double goal = wanted.number * *scale;

    ValueKept kept(target, index);
    const auto low = displayed(target, index, 0.0f, unit);
    const auto high = displayed(target, index, 1.0f, unit);
    if (!low || !high)
        throw ValueError(name + " does not show a number in " + unit + " across its range: give its normalised " +
                         "value from 0 to 1, got '" + text + "'");
    const double bottom = std::min(*low, *high), top = std::max(*low, *high);
    const double tolerance = 1e-5 * std::max(std::fabs(bottom), std::fabs(top));
    if (goal < bottom - tolerance || goal > top + tolerance)
        throw ValueError("'" + text + "' is out of range for " + name + ": " + rangeOf(*low, *high, unit) +
                         " (as its display shows)");
    const bool falls = *high < *low;
    auto shown = [&](float v) {
        const auto s = displayed(target, index, v, unit);
        if (!s) throw ValueError(name + "'s display shows no number at " + formatted("%g", v) +
                                 ": give its normalised value from 0 to 1, got '" + text + "'");
        return *s;
    };
    // Floats of 0..1 in order are the integers from 0 to the bits of 1.
    std::uint32_t first = 0, last = std::bit_cast<std::uint32_t>(1.0f);
    while (first < last) {
        const std::uint32_t middle = first + (last - first) / 2;
        const double s = shown(std::bit_cast<float>(middle));
        if (falls ? s > goal : s < goal) first = middle + 1;
        else last = middle;
    }
    const float found = std::bit_cast<float>(first);
    if (first == 0) return found;
    const float before = std::bit_cast<float>(first - 1);
    return std::fabs(shown(before) - goal) < std::fabs(shown(found) - goal) ? before : found;
}

// Where PARAM leads: an index, or why it leads nowhere (without the list of names).
struct Lookup {
    int index = -1;
    std::string reason;
};

Lookup lookUp(Target& target, const std::vector<std::string>& names, const std::string& given) {
    const int count = static_cast<int>(names.size());
    if (count == 0) return {-1, target.name() + " has no parameters to set"};
    if (const auto index = parseInteger(trimmed(given))) {
        if (*index >= 0 && *index < count) return {static_cast<int>(*index), {}};
        return {-1, "parameter index " + trimmed(given) + " is out of range for " + target.name() + " (0 to " +
                        std::to_string(count - 1) + ")"};
    }
    const std::string wanted = trimmed(given);
    // A qualified name, with or without blanks around "#".
    std::string qualified = wanted;
    if (const auto hash = wanted.rfind('#'); hash != std::string::npos && hash > 0)
        qualified = trimmed(wanted.substr(0, hash)) + "#" + trimmed(wanted.substr(hash + 1));
    for (bool ignoreCase : {false, true}) {
        std::vector<int> found;
        for (int i = 0; i < count; ++i) {
            const std::string plain = trimmed(target.describe(i).name);
            const std::string& full = names[static_cast<std::size_t>(i)];
            const bool same = ignoreCase ? lower(full) == lower(qualified) || lower(plain) == lower(wanted)
                                         : full == qualified || plain == wanted;
            if (same) found.push_back(i);
        }
        if (found.size() == 1) return {found[0], {}};
        if (found.size() > 1) {
            std::vector<std::string> indices, ways;
            for (int i : found) {
                indices.push_back(std::to_string(i));
                std::string range = rangeText(target.describe(i));
                if (range.size() > 40) range = range.substr(0, 37) + "...";
                ways.push_back(names[static_cast<std::size_t>(i)] + " (index " + std::to_string(i) + ": " + range + ")");
            }
            return {-1, "parameter name '" + given + "' is ambiguous in " + target.name() + " (indices " +
                            joined(indices, ", ") + "): name each as " + joined(ways, " or ")};
        }
    }
    return {-1, "unknown parameter '" + given + "' for " + target.name()};
}

std::string parameterList(Target& target, const std::vector<std::string>& names) {
    std::size_t width = 0;
    for (const std::string& n : names) width = std::max(width, n.size());
    const std::size_t digits = std::to_string(names.empty() ? 0 : names.size() - 1).size();
    std::string text = "valid parameters (index or name):";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string index = std::to_string(i);
        const std::string name = names[i].empty() ? "(no name: by index only)" : names[i];
        text += "\n  " + std::string(digits - index.size(), ' ') + index + "  " + name +
                std::string(width > name.size() ? width - name.size() : 0, ' ') + "  " +
                rangeText(target.describe(static_cast<int>(i)));
    }
    return text;
}

std::vector<SettingChange> settingsOf(Target& target, const std::string& path, const std::string& text) {
    const std::vector<std::string> names = settingNames(target);
    std::vector<SettingChange> changes;
    std::vector<std::string> bad;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a byte-order mark
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        const auto equals = content.rfind('=');
        if (equals == std::string::npos || trimmed(content.substr(0, equals)).empty()) {
            bad.push_back(where + "not NAME=VALUE: '" + content + "'");
            continue;
        }
        const std::string name = trimmed(content.substr(0, equals));
        const std::string value = trimmed(content.substr(equals + 1));
        const Lookup found = lookUp(target, names, name);
        if (found.index < 0) {
            bad.push_back(where + found.reason);
            continue;
        }
        try {
            if (value.empty()) throw ValueError("no value after '='");
            changes.push_back({found.index, normalisedValue(target, found.index, value)});
        } catch (const ValueError& e) {
            bad.push_back(where + name + ": " + e.what());
        }
    }
    if (!bad.empty()) throw Error(joined(bad, "\n"), 2);
    return changes;
}

// The shortest number with the parameter's unit that reads back as `normalised`. The
// plug-in's mapping rises or falls steadily with the unit value, so halving the range
// finds the run of unit values that map onto `normalised`; the number with the fewest
// digits inside it is the text. None when no unit value maps onto it (a value no
// unit value reaches, between two that do).
template <class ReadsBack>
std::optional<std::string> shortestUnitText(Target& target, int index, const ParameterDescription& d, float normalised,
                                            ReadsBack&& readsBack) {
    const double bottom = std::min(d.minimum, d.maximum), top = std::max(d.minimum, d.maximum);
    const auto low = target.valueOfUnit(index, bottom);
    const auto high = target.valueOfUnit(index, top);
    if (!low || !high) return std::nullopt;
    const bool rises = *low <= *high;
    // The first unit value from `bottom` up whose value passes `past`.
    auto first = [&](auto&& past) {
        double a = bottom, b = top;
        if (past(a)) return a;
        for (int step = 0; step < 200 && b - a > 0.0; ++step) {
            const double middle = a + (b - a) / 2;
            if (middle <= a || middle >= b) break;
            (past(middle) ? b : a) = middle;
        }
        return b;
    };
    auto valueAt = [&](double u) { return target.valueOfUnit(index, u).value_or(normalised); };
    const double from = first([&](double u) { return rises ? valueAt(u) >= normalised : valueAt(u) <= normalised; });
    if (!sameFloat(valueAt(from), normalised)) return std::nullopt;
    const double after = first([&](double u) { return rises ? valueAt(u) > normalised : valueAt(u) < normalised; });
    const double to = sameFloat(valueAt(after), normalised) ? after : std::nextafter(after, from);

    const std::string unit = trimmed(d.unit);
    const bool hertz = lower(unit) == "hz";
    for (int decimals = -4; decimals <= 12; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        const double number = std::ceil(from * scale) / scale + 0.0;  // never "-0"
        if (number > to) continue;
        std::vector<std::string> texts{formattedAt("%.*f", std::max(decimals, 0), number) + unit};
        if (hertz && std::fabs(number) >= 1000.0) {
            std::string kilo = formattedAt("%.*f", std::max(decimals + 3, 0), number / 1000.0);
            if (kilo.find('.') != std::string::npos) kilo.erase(kilo.find_last_not_of('0') + 1);
            if (kilo.back() == '.') kilo.pop_back();
            texts.insert(texts.begin(), kilo + "kHz");
        }
        std::stable_sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
        for (const std::string& text : texts)
            if (readsBack(text)) return text;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> settingNames(Target& target) {
    const int count = target.parameterCount();
    std::vector<std::string> plain;
    for (int i = 0; i < count; ++i) plain.push_back(trimmed(target.describe(i).name));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        const std::string& name = plain[static_cast<std::size_t>(i)];
        const auto shared = std::count(plain.begin(), plain.end(), name);
        if (name.empty() || shared == 1) {
            names.push_back(name);
            continue;
        }
        const auto before = std::count(plain.begin(), plain.begin() + i, name);
        names.push_back(name + "#" + std::to_string(before + 1));
    }
    return names;
}

int parameterIndex(Target& target, const std::string& given) {
    const std::vector<std::string> names = settingNames(target);
    const Lookup found = lookUp(target, names, given);
    if (found.index >= 0) return found.index;
    if (names.empty()) throw Error(found.reason);
    throw Error(found.reason + "; " + parameterList(target, names));
}

float normalisedValue(Target& target, int index, const std::string& text) {
    std::string t = trimmed(text);
    // In double quotes, an entry that reads as a number ("2" of a stepped CLAP
    // parameter) is that entry, not a normalised value.
    const bool quoted = t.size() >= 2 && t.front() == '"' && t.back() == '"';
    if (quoted) t = trimmed(t.substr(1, t.size() - 2));
    if (const auto number = parseFinite(t); number && !quoted) return bareValue(text, *number);
    const ParameterDescription d = target.describe(index);
    const std::string name = trimmed(d.name);
    const std::vector<std::string> entries = trimmedEntries(d);

    if (d.kind == Kind::choice || d.kind == Kind::toggle) {
        std::optional<double> unitValue;
        if (const auto entry = entryIndex(entries, t)) unitValue = *entry;
        else if (d.kind == Kind::toggle && lower(t) == "on") unitValue = 1.0;
        else if (d.kind == Kind::toggle && lower(t) == "off") unitValue = 0.0;
        if (!unitValue) {
            const std::string allowed = d.kind == Kind::toggle && entries.empty() ? "on, off" : joined(entries, ", ");
            throw ValueError("unknown entry '" + t + "' for " + name + "; one of: " + allowed +
                             " (or a normalised number from 0 to 1)");
        }
        if (const auto value = target.valueOfUnit(index, *unitValue)) return *value;
        if (d.kind == Kind::toggle) return static_cast<float>(*unitValue);
        throw ValueError(name + " cannot be set by its entries in this format: give its normalised value from 0 to 1, got '" +
                         text + "'");
    }

    const auto quantity = quantityOf(t);
    const std::string unit = trimmed(d.unit);
    if (!quantity || quantity->unit.empty() ||
        !(knownUnit(quantity->unit) || (d.described && lower(quantity->unit) == lower(unit))))
        throw ValueError(normalisedOnly(text));
    if (!d.described) return searchDisplay(target, index, *quantity, text);
    if (unit.empty()) throw ValueError(normalisedOnly(text) + "; " + name + " has no unit");
    const auto scale = unitScale(quantity->unit, unit);
    const std::string range = rangeText(d);
    if (!scale)
        throw ValueError(name + " is counted in " + unit + " (" + range + "), not " + quantity->unit + ", got '" + text +
                         "'");
    const double bottom = std::min(d.minimum, d.maximum), top = std::max(d.minimum, d.maximum);
    const double tolerance = 1e-5 * std::max(std::fabs(bottom), std::fabs(top));
    const double wanted = quantity->number * *scale;
    if (wanted < bottom - tolerance || wanted > top + tolerance)
        throw ValueError("'" + t + "' is out of range for " + name + ": " + range);
    if (const auto value = target.valueOfUnit(index, std::clamp(wanted, bottom, top))) return *value;
    return searchDisplay(target, index, *quantity, text);
}

std::string valueText(Target& target, int index, float normalised) {
    const ParameterDescription d = target.describe(index);
    auto readsBack = [&](const std::string& text) {
        try {
            return sameFloat(normalisedValue(target, index, text), normalised);
        } catch (const ValueError&) {
            return false;
        }
    };
    if (d.described && (d.kind == Kind::choice || d.kind == Kind::toggle)) {
        if (const auto unitValue = target.unitOfValue(index, normalised)) {
            const std::vector<std::string> entries = trimmedEntries(d);
            const long k = std::lround(*unitValue);
            std::string text;
            if (k >= 0 && k < static_cast<long>(entries.size())) text = entries[static_cast<std::size_t>(k)];
            else if (d.kind == Kind::toggle) text = k ? "on" : "off";
            if (parseFinite(text)) text = "\"" + text + "\"";
            if (!text.empty() && readsBack(text)) return text;
        }
    } else if (d.described && !trimmed(d.unit).empty()) {
        if (const auto text = shortestUnitText(target, index, d, normalised, readsBack)) return *text;
    }
    for (int precision = 1; precision <= 9; ++precision) {
        const std::string text = formattedAt("%.*g", precision, normalised);
        if (readsBack(text)) return text;
    }
    return formattedAt("%.*g", 9, normalised);
}

std::string rangeText(const ParameterDescription& d) {
    if (d.kind == Kind::choice && !d.entries.empty()) return joined(trimmedEntries(d), ", ");
    if (d.kind == Kind::toggle) return d.entries.size() == 2 ? joined(trimmedEntries(d), " or ") : "off or on";
    if (trimmed(d.unit).empty() && d.minimum == 0.0 && d.maximum == 1.0) return "0 to 1";
    return rangeOf(d.minimum, d.maximum, trimmed(d.unit));
}

std::vector<std::string> rangeLines(const ParameterDescription& d) {
    if (!d.described || (d.kind == ParameterDescription::Kind::continuous && trimmed(d.unit).empty() &&
                         d.minimum == 0.0 && d.maximum == 1.0))
        return {""};
    std::string text = rangeText(d);
    std::vector<std::string> lines;
    constexpr std::size_t kWidth = 48;
    while (text.size() > kWidth) {
        auto cut = text.rfind(", ", kWidth);
        if (cut == std::string::npos) break;
        lines.push_back(text.substr(0, cut + 1));
        text = text.substr(cut + 2);
    }
    lines.push_back(text);
    return lines;
}

std::vector<SettingChange> readSettingsFile(Target& target, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw Error("cannot read settings file " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw Error("cannot read settings file " + path + ": " + std::strerror(errno));
    return settingsOf(target, path, text.str());
}

std::vector<SettingChange> resolveSettings(Target& target, const std::vector<std::string>& files,
                                           const std::vector<ParameterSetting>& settings) {
    std::vector<SettingChange> changes;
    for (const std::string& file : files) {
        const std::vector<SettingChange> more = readSettingsFile(target, file);
        changes.insert(changes.end(), more.begin(), more.end());
    }
    for (const ParameterSetting& s : settings) {
        const int index = parameterIndex(target, s.parameter);
        if (!s.written) {
            changes.push_back({index, s.value});
            continue;
        }
        try {
            changes.push_back({index, normalisedValue(target, index, *s.written)});
        } catch (const ValueError& e) {
            throw Error("--set " + s.parameter + ": " + e.what(), 2);
        }
    }
    return changes;
}

std::vector<std::string> applyChanges(Target& target, const std::vector<SettingChange>& changes) {
    const std::vector<std::string> names = settingNames(target);
    std::vector<std::string> applied;
    for (const SettingChange& c : changes) {
        target.setValue(c.index, c.value);
        const std::string& name = names[static_cast<std::size_t>(c.index)];
        // What it became in the parameter's own terms where they are known: a display
        // may show what the sound does rather than the value (the filter's swept cutoff).
        std::string shown = target.describe(c.index).described ? valueText(target, c.index, target.value(c.index)) : "";
        if (shown.empty() || parseFinite(shown)) shown = trimmed(target.display(c.index));
        applied.push_back((name.empty() ? std::to_string(c.index) : name) + " = " + formatted("%g", c.value) + " (" +
                          shown + ")");
    }
    return applied;
}

std::string settingsText(Target& target, const std::string& heading) {
    const std::vector<std::string> names = settingNames(target);
    std::string text = "# " + heading + "\n";
    for (int i = 0; i < target.parameterCount(); ++i) {
        const std::string& name = names[static_cast<std::size_t>(i)];
        text += (name.empty() ? std::to_string(i) : name) + "=" + valueText(target, i, target.value(i)) + "\n";
    }
    return text;
}

}  // namespace orvex::cli
