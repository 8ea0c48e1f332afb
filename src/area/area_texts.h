#pragma once
// The texts of the area files' refusals. They are a contract: users see them
// as they are, on the command line and in the windows, and the tests hold
// them. Each names the file (as the user gave it) and the reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessellon::AreaText {

std::string FileTooLarge(const std::string& path, std::uint64_t limit);
std::string EmptyFile(const std::string& path);
// `detail` ends the sentence: "." or ": GDAL'S REASON.".
std::string Unreadable(const std::string& path, const std::string& detail);
std::string NoKmlInKmz(const std::string& path);
std::string FormatsMissing(const std::string& path, const std::string& reason);
std::string KmlTooLarge(const std::string& path, std::uint64_t limit);
std::string UnknownCoordinateSystem(const std::string& path);
std::string NotTransformable(const std::string& path);
std::string TooManyPoints(const std::string& path, std::size_t limit);
std::string NotANumber(const std::string& path);
std::string CrossesAntimeridian(const std::string& path);
std::string LatitudeBeyondPole(const std::string& path, double latitude);
std::string NoArea(const std::string& path);
std::string LinesNeedBuffer(const std::string& path);
std::string LinesNeedBufferAboveZero(const std::string& path);
std::string BeyondGrid(const std::string& path);
std::string EnclosesNothing(const std::string& path);
std::string BufferCrossesAntimeridian(const std::string& path, double metres);
std::string ShapeFailed(const std::string& path, const std::string& reason);
std::string CopyHoldsLines(const std::string& path);

std::string BufferNotADistance(std::string_view text);
std::string BufferNegative(std::string_view text);
std::string BufferTooLarge(std::string_view text);
std::string BufferTooSmall(std::string_view text);

}  // namespace tessellon::AreaText
