#include "platform/qt/ini_text.h"

#include <vector>

namespace dwellor::qt {

namespace {

std::string trimmed(const std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The section a header line opens, if it is one.
std::optional<std::string> header(const std::string& line) {
    const std::string t = trimmed(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return t.substr(1, t.size() - 2);
}

// The key of a "key=value" line, if it is one (comments are not).
std::optional<std::string> keyOf(const std::string& line) {
    const std::string t = trimmed(line);
    const std::size_t eq = t.find('=');
    if (t.empty() || t[0] == ';' || t[0] == '#' || eq == std::string::npos || eq == 0) return std::nullopt;
    return trimmed(t.substr(0, eq));
}

}  // namespace

std::optional<std::string> iniValue(const std::string& text, const std::string& section, const std::string& key) {
    std::optional<std::string> current;
    for (const std::string& line : linesOf(text)) {
        if (const auto h = header(line)) {
            current = h;
        } else if (current == section && keyOf(line) == key) {
            std::string v = trimmed(line.substr(line.find('=') + 1));
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return v;
        }
    }
    return std::nullopt;
}

std::string iniWithValue(const std::string& text, const std::string& section, const std::string& key,
                         const std::string& value) {
    std::vector<std::string> lines = linesOf(text);
    const std::string entry = key + "=" + value;
    std::optional<std::string> current;
    std::optional<std::size_t> insertAt;  // where a new key line goes, once the section is found
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto h = header(lines[i])) {
            if (inSection) break;
            current = h;
            inSection = *h == section;
            if (inSection) insertAt = i + 1;
            continue;
        }
        if (!inSection) continue;
        const auto k = keyOf(lines[i]);
        if (!k) continue;
        if (*k == key) {
            lines[i] = entry;
            insertAt.reset();
            break;
        }
        if (*k < key) insertAt = i + 1;
    }
    if (insertAt) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), entry);
    } else if (!inSection) {
        while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
        if (!lines.empty()) lines.push_back("");
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

}  // namespace dwellor::qt
