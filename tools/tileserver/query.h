#pragma once
// Query strings of request targets: "key=value" pairs joined by "&".

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon::tileserver {

// The value of the first pair named `key`, with %XX escapes decoded; nullopt
// when no pair has that name. A pair without "=" has an empty value.
std::optional<std::string> QueryValue(std::string_view query, std::string_view key);
// The same with names compared without regard to ASCII case, as WMS reads its
// parameters ("BBOX", "bbox").
std::optional<std::string> QueryValueAnyCase(std::string_view query, std::string_view key);

// `query` without the pairs named in `names`, the others kept in order and
// as written.
std::string QueryWithout(std::string_view query, std::initializer_list<std::string_view> names);

}  // namespace tessellon::tileserver
