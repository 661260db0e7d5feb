#include "model/Ini.h"

#include "base/AsciiText.h"
#include "base/FileIO.h"

#include <vector>

namespace model {

using base::ascii::lowered;
using base::ascii::trim;

Ini Ini::parse(std::string_view text)
{
    Ini ini;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Keys* current = nullptr;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);

        line = trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue; // malformed header: ignored, keys stay in the previous section
            current = &ini.sections_[lowered(trim(line.substr(1, close - 1)))];
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || current == nullptr)
            continue;
        std::string key = lowered(trim(line.substr(0, eq)));
        if (key.empty())
            continue;
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > kMaxValue)
            value = value.substr(0, kMaxValue);
        current->try_emplace(std::move(key), value);
    }
    return ini;
}

Ini Ini::load(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (path.empty() || base::fileio::readFile(path, bytes))
        return {};
    return parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string Ini::get(std::string_view section, std::string_view key, std::string_view def) const
{
    auto s = sections_.find(lowered(section));
    if (s == sections_.end())
        return std::string(def);
    auto k = s->second.find(lowered(key));
    if (k == s->second.end())
        return std::string(def);
    return k->second;
}

bool Ini::contains(std::string_view section, std::string_view key) const
{
    auto s = sections_.find(lowered(section));
    return s != sections_.end() && s->second.count(lowered(key)) != 0;
}

bool Ini::hasSection(std::string_view section) const
{
    return sections_.count(lowered(section)) != 0;
}

} // namespace model
