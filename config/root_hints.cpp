#include "config/root_hints.h"

#include <algorithm>
#include <cstdint>
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

// named keeps no TTL longer than this (it makes longer ones 0, or refuses them).
constexpr std::uint64_t kMaxTtl = 2147483647;

// A TTL as named reads it: seconds, or numbers each followed by its unit
// ("1w2d", added up), at most kMaxTtl seconds.
bool IsTtl(std::string_view field) {
    constexpr std::string_view kUnits = "smhdw";
    constexpr std::uint64_t kSeconds[] = {1, 60, 3600, 86400, 604800};
    std::uint64_t total = 0;
    bool units = false;
    do {
        std::uint64_t number = 0;
        std::size_t digits = 0;
        for (; digits < field.size() && IsDigit(field[digits]); ++digits) {
            number = number * 10 + static_cast<std::uint64_t>(field[digits] - '0');
            if (number > kMaxTtl) {
                return false;
            }
        }
        if (digits == 0) {
            return false;
        }
        if (digits == field.size()) {
            return !units;  // a plain number stands alone
        }
        const std::size_t index = kUnits.find(Lower(field.substr(digits, 1)));
        if (index == std::string_view::npos || (total += number * kSeconds[index]) > kMaxTtl) {
            return false;
        }
        units = true;
        field.remove_prefix(digits + 1);
    } while (!field.empty());
    return true;
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

// Addresses as named reads them, by the rules of inet_pton: four decimal
// parts of 0 to 255, without leading zeros.
bool IsIpv4(std::string_view field) {
    int parts = 0;
    while (true) {
        const std::size_t dot = std::min(field.find('.'), field.size());
        const std::string_view part = field.substr(0, dot);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit) ||
            (part.size() > 1 && part[0] == '0') || std::stoi(std::string(part)) > 255) {
            return false;
        }
        ++parts;
        if (dot == field.size()) {
            return parts == 4;
        }
        field.remove_prefix(dot + 1);
    }
}

// Eight groups of one to four hexadecimal digits, the last two of which may
// be an IPv4 address; one "::" stands for at least one group of zeros.
bool IsIpv6(std::string_view field) {
    const std::size_t gap = field.find("::");
    if (gap != std::string_view::npos && field.find("::", gap + 1) != std::string_view::npos) {
        return false;
    }
    // The groups before the gap, then those after it (all of them without one).
    const std::string_view sides[] = {field.substr(0, gap), gap == std::string_view::npos ? "" : field.substr(gap + 2)};
    int groups = 0;
    for (int side = 0; side < 2; ++side) {
        std::string_view rest = sides[side];
        const bool last = side == 1 || gap == std::string_view::npos;  // where an IPv4 address may end it
        while (!rest.empty()) {
            const std::size_t colon = std::min(rest.find(':'), rest.size());
            const std::string_view group = rest.substr(0, colon);
            if (colon == rest.size() && last && IsIpv4(group)) {
                groups += 2;
                break;
            }
            if (group.empty() || group.size() > 4 || !std::all_of(group.begin(), group.end(), IsHexDigit) ||
                colon + 1 == rest.size()) {
                return false;
            }
            ++groups;
            rest.remove_prefix(std::min(colon + 1, rest.size()));
        }
    }
    return gap == std::string_view::npos ? groups == 8 : groups <= 7;
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
