#include "config/root_hints.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zephrane {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < line.size() && !IsBlank(line[i])) {
            ++i;
        }
        fields.push_back(line.substr(begin, i - begin));
    }
    return fields;
}

// A TTL as zone files write it: seconds, or with unit letters ("1w2d").
bool IsTtl(std::string_view field) {
    return !field.empty() && IsDigit(field[0]) && std::all_of(field.begin(), field.end(), [](char c) {
        return IsDigit(c) || std::string_view("wdhmsWDHMS").find(c) != std::string_view::npos;
    });
}

// Host-name characters in non-empty labels; "." alone is the root.
bool IsName(std::string_view field) {
    if (field == ".") {
        return true;
    }
    const bool plainCharacters = std::all_of(field.begin(), field.end(), [](char c) {
        return IsLetter(c) || IsDigit(c) || c == '-' || c == '_' || c == '*' || c == '.';
    });
    return plainCharacters && !field.empty() && field[0] != '.' && field.find("..") == std::string_view::npos;
}

// The lower-case absolute form of a name written in the text.
std::optional<std::string> Absolute(std::string_view field, const std::string& origin) {
    if (field == "@") {
        return origin;
    }
    if (!IsName(field)) {
        return std::nullopt;
    }
    std::string name = Lower(field);
    if (name.back() != '.') {
        name += origin == "." ? "." : "." + origin;
    }
    return name;
}

bool IsIpv4(std::string_view field) {
    int parts = 0;
    while (true) {
        const std::size_t dot = std::min(field.find('.'), field.size());
        const std::string_view part = field.substr(0, dot);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit) ||
            std::stoi(std::string(part)) > 255) {
            return false;
        }
        ++parts;
        if (dot == field.size()) {
            return parts == 4;
        }
        field.remove_prefix(dot + 1);
    }
}

// The characters and colons of an IPv6 address (the form is named's to judge).
bool IsIpv6(std::string_view field) {
    return field.size() <= 45 && std::count(field.begin(), field.end(), ':') >= 2 &&
           std::all_of(field.begin(), field.end(), [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
}

class HintsReader {
public:
    bool ReadLine(std::string_view line);
    bool Complete() const {
        return hasRootNs_ && std::all_of(nsTargets_.begin(), nsTargets_.end(),
                                         [this](const std::string& target) { return addressed_.count(target) > 0; });
    }

private:
    bool ReadDirective(const std::vector<std::string_view>& fields);
    bool ReadRecord(const std::string& owner, const std::vector<std::string_view>& fields, std::size_t next);

    std::string origin_ = ".";
    std::string lastOwner_;
    bool hasRootNs_ = false;
    std::set<std::string> nsTargets_;
    std::set<std::string> addressed_;
};

bool HintsReader::ReadLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    line = line.substr(0, line.find(';'));
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.empty()) {
        return true;
    }
    if (IsBlank(line[0])) {  // a record without owner belongs to the previous one
        return !lastOwner_.empty() && ReadRecord(lastOwner_, fields, 0);
    }
    if (fields[0][0] == '$') {
        return ReadDirective(fields);
    }
    const std::optional<std::string> owner = Absolute(fields[0], origin_);
    return owner && ReadRecord(*owner, fields, 1);
}

bool HintsReader::ReadDirective(const std::vector<std::string_view>& fields) {
    if (fields.size() != 2) {
        return false;
    }
    const std::string directive = Lower(fields[0]);
    if (directive == "$ttl") {
        return IsTtl(fields[1]);
    }
    if (directive == "$origin") {
        const std::optional<std::string> origin = Absolute(fields[1], origin_);
        if (origin) {
            origin_ = *origin;
        }
        return origin.has_value();
    }
    return false;  // $INCLUDE and $GENERATE have no place in the hints
}

bool HintsReader::ReadRecord(const std::string& owner, const std::vector<std::string_view>& fields,
                             std::size_t next) {
    // TTL and class may each appear once, in either order.
    bool hasTtl = false;
    bool hasClass = false;
    while (next < fields.size()) {
        if (!hasTtl && IsTtl(fields[next])) {
            hasTtl = true;
        } else if (!hasClass && Lower(fields[next]) == "in") {
            hasClass = true;
        } else {
            break;
        }
        ++next;
    }
    if (fields.size() != next + 2) {
        return false;
    }
    const std::string type = Lower(fields[next]);
    const std::string_view data = fields[next + 1];
    lastOwner_ = owner;
    if (type == "ns") {
        const std::optional<std::string> target = Absolute(data, origin_);
        if (!target) {
            return false;
        }
        hasRootNs_ = hasRootNs_ || owner == ".";
        nsTargets_.insert(*target);
        return true;
    }
    if ((type == "a" && IsIpv4(data)) || (type == "aaaa" && IsIpv6(data))) {
        addressed_.insert(owner);
        return true;
    }
    return false;
}

}  // namespace

bool IsRootHints(std::string_view text) {
    HintsReader reader;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (!reader.ReadLine(text.substr(0, end))) {
            return false;
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return reader.Complete();
}

}  // namespace zephrane
