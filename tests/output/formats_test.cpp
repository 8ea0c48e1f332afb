// The table of formats: names and extensions in any case find their row, and
// each row's limits and georeference are those its writer keeps.

#include "output/formats.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

TEST(Formats, NamesAndExtensionsFindTheirRowInAnyCase) {
    EXPECT_EQ(ImageFormatNamed("JPG"), ImageFormat::Jpeg);
    EXPECT_EQ(ImageFormatNamed("tiff"), ImageFormat::Tiff);
    EXPECT_EQ(ImageFormatNamed("gpkg"), std::nullopt);
    EXPECT_EQ(ImageFormatNamed(""), std::nullopt);
    EXPECT_EQ(ImageFormatOfPath("/maps/a.b/Map.JPEG"), ImageFormat::Jpeg);
    EXPECT_EQ(ImageFormatOfPath("/maps/a.png/map"), std::nullopt);
    EXPECT_EQ(ImageFormatOfPath("map.pn"), std::nullopt);
    EXPECT_EQ(ContainerFormatOfPath("out.GPKG"), ContainerFormat::GeoPackage);
    EXPECT_EQ(ContainerFormatOfPath("out.pmtiles"), ContainerFormat::Pmtiles);
    EXPECT_EQ(ContainerFormatOfPath("out.mbtiles"), ContainerFormat::Mbtiles);
    EXPECT_EQ(ContainerFormatOfPath("Out.SQLiteDB"), ContainerFormat::Osmand);
    EXPECT_EQ(ContainerFormatOfPath("out.tif"), std::nullopt);
    EXPECT_EQ(ExtensionOf(ImageFormat::Jpeg), ".jpg");
    EXPECT_EQ(ExtensionOf(ImageFormat::Tiff), ".tif");
    for (std::size_t i = 0; i < ImageFormatRows().size(); ++i) {
        const auto format = static_cast<ImageFormat>(i);
        EXPECT_EQ(ImageFormatNamed(RowOf(format).Name), format);
        EXPECT_EQ(ImageFormatOfPath("map" + ExtensionOf(format)), format);
    }
}

TEST(Formats, LimitsAreThoseOfEachFormat) {
    EXPECT_TRUE(FormatHasAlpha(ImageFormat::Png));
    EXPECT_FALSE(FormatHasAlpha(ImageFormat::Bmp));
    EXPECT_EQ(SizeRefusal(ImageFormat::Jpeg, 65535, 65535), "");
    EXPECT_NE(SizeRefusal(ImageFormat::Jpeg, 65536, 1), "");
    EXPECT_EQ(SizeRefusal(ImageFormat::Png, 1 << 20, 1 << 20), "");
    // A BMP row pads to four bytes: 4 GiB less one row passes, one more does not.
    const std::int64_t width = 65536;
    const std::int64_t rows = ((std::int64_t{1} << 32) - kBmpHeaderBytes) / (width * 3);
    EXPECT_EQ(SizeRefusal(ImageFormat::Bmp, width, rows), "");
    EXPECT_NE(SizeRefusal(ImageFormat::Bmp, width, rows + 1), "");
    EXPECT_EQ(RowOf(ImageFormat::Tiff).Georeference, Georeferencing::Inside);
    EXPECT_EQ(RowOf(ContainerFormat::Mbtiles).Georeference, Georeferencing::TileGrid);
}

}  // namespace
}  // namespace tessellon
