#pragma once
// Buffers measured on the ground, as the user writes them: the distance's
// text and its limits. The buffer itself is made in the geometry module
// (ground_buffer.h).

#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// The largest buffer: a corridor wider than this is no longer a corridor, and
// the local projections the buffer is measured in stay within their
// tolerance up to it.
inline constexpr double kMaxBufferMetres = 1'000'000;

// "2km", "500m", "1.5 km", "0": metres. Returns nothing and says why in
// `error` for any other text, a negative distance or one above
// kMaxBufferMetres.
std::optional<double> ParseBufferDistance(std::string_view text, std::string& error);

// The distance as the user would write it: "500 m", "1.5 km".
std::string FormatBufferDistance(double metres);

}  // namespace tessellon
