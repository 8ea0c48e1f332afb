#include "task/source_key_rules.h"

#include <algorithm>

#include "platform/ini_file.h"

namespace tessellon {

const SourceKeyRule* FindSourceKey(std::string_view name) {
    const auto* found =
        std::find_if(kSourceKeyRules.begin(), kSourceKeyRules.end(),
                     [&](const SourceKeyRule& rule) { return SameIniName(rule.Name, name); });
    return found == kSourceKeyRules.end() ? nullptr : found;
}

std::string SourceKeyHint(const SourceKeyRule& rule) {
    return rule.Kind == SourceKeyKind::Integer ? std::to_string(rule.Default)
                                               : std::string(rule.Hint);
}

}  // namespace tessellon
