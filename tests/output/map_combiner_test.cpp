#include "output/map_combiner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include "combine_fixture.h"
#include "net/net_limits.h"
#include "platform/files.h"

namespace tessellon {
namespace {

using test::Rgb;

constexpr Rgb kRed{220, 20, 20};
constexpr Rgb kGreen{20, 200, 40};
constexpr Rgb kBlue{30, 40, 210};
constexpr Rgb kYellow{240, 230, 10};

// EPSG:3857 metres of a pixel at zoom 13, and the corner of tile (6742, 3101).
const double kPixelSize = 2 * M_PI * 6378137 / (256.0 * 8192);
const double kRangeLeft = -20037508.342789244 + 6742 * 256 * kPixelSize;
const double kRangeTop = 20037508.342789244 - 3101 * 256 * kPixelSize;

bool Near(Rgb a, Rgb b, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        if (std::abs(a[i] - b[i]) > tolerance) {
            return false;
        }
    }
    return true;
}

class Combining : public test::SmallTask {
protected:
    // Every kind of tile: PNG, JPEG, WebP, one missing, one cut short, one
    // of the wrong size.
    void StartWithEveryKindOfTile() {
        Start();
        PutTile(kMinX, kMinY, test::EncodePng(kRed));
        PutTile(kMinX + 1, kMinY, test::EncodeJpeg(kGreen));
        PutTile(kMinX, kMinY + 1, test::EncodeWebp(kBlue));
        const std::string whole = test::EncodePng(kYellow);
        PutTile(kMinX, kMinY + 2, whole.substr(0, whole.size() / 2));
        PutTile(kMinX + 1, kMinY + 2, test::EncodePng(kYellow, 128));
    }

    // Four tiles of the same colours, all of them PNG, and two missing.
    void StartWithPngTiles() {
        Start();
        PutTile(kMinX, kMinY, test::EncodePng(kRed));
        PutTile(kMinX + 1, kMinY, test::EncodePng(kGreen));
        PutTile(kMinX, kMinY + 1, test::EncodePng(kBlue));
        PutTile(kMinX + 1, kMinY + 2, test::EncodePng(kYellow));
    }

    CombineResult Combine(const std::string& name, ImageFormat format, bool crop = false,
                          std::optional<int> zoom = std::nullopt) {
        progress.clear();
        CombineOptions options;
        options.OutputPath = dir.File(name);
        options.Format = format;
        options.Crop = crop;
        options.Zoom = zoom;
        return CombineTiles(Open(), options, [this](std::int64_t done, std::int64_t total) {
            progress.emplace_back(done, total);
        });
    }

    // The files the combiner may have made.
    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            if (entry.is_regular_file() &&
                !entry.path().filename().string().starts_with("newtask")) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
};

TEST_F(Combining, DrawsEachTileInItsPlaceAndLeavesWhatCannotBeDrawnWhite) {
    StartWithEveryKindOfTile();
    const CombineResult result = Combine("map.png", ImageFormat::Png);
    EXPECT_EQ(result.Width, 512);
    EXPECT_EQ(result.Height, 768);
    const test::Decoded image = test::DecodePngFile(dir.File("map.png"));
    ASSERT_EQ(image.Width, 512);
    ASSERT_EQ(image.Height, 768);
    // Corners and centres of each tile, so a tile one pixel off shows.
    for (const auto& [x, y, colour, tolerance] : std::vector<std::tuple<int, int, Rgb, int>>{
             {0, 0, kRed, 0},
             {255, 255, kRed, 0},
             {256, 0, kGreen, 4},
             {511, 255, kGreen, 4},
             {0, 256, kBlue, 0},
             {255, 511, kBlue, 0},
             {300, 300, test::kWhite, 0},
             {100, 600, test::kWhite, 0},
             {400, 700, test::kWhite, 0},
         }) {
        EXPECT_TRUE(Near(image.At(x, y), colour, tolerance)) << x << "," << y;
    }

    ASSERT_EQ(result.Undrawn.size(), 3u);
    EXPECT_EQ(result.Undrawn[0].X, kMinX + 1);
    EXPECT_EQ(result.Undrawn[0].Y, kMinY + 1);
    EXPECT_EQ(result.Undrawn[0].Reason, "missing");
    EXPECT_EQ(result.Undrawn[1].X, kMinX);
    EXPECT_EQ(result.Undrawn[1].Y, kMinY + 2);
    EXPECT_NE(result.Undrawn[1].Reason.find("PNG"), std::string::npos) << result.Undrawn[1].Reason;
    EXPECT_EQ(result.Undrawn[2].Reason, "the image is 128 x 128 pixels, not 256 x 256");

    const std::vector<std::pair<std::int64_t, std::int64_t>> rows{{1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(progress, rows);
    // The image and its georeference, and no temporary file left.
    EXPECT_EQ(FilesInFolder(),
              (std::vector<std::string>{"map.pgw", "map.png", "map.png.aux.xml", "map.prj"}));
}

TEST_F(Combining, WorldFileNamesTheCentreOfTheTopLeftPixel) {
    StartWithPngTiles();
    Combine("map.png", ImageFormat::Png);
    const std::vector<std::string> lines = ReadTextLines(dir.File("map.pgw"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NEAR(std::stod(lines[0]), kPixelSize, 1e-9);
    EXPECT_NEAR(std::stod(lines[3]), -kPixelSize, 1e-9);
    EXPECT_NEAR(std::stod(lines[4]), kRangeLeft + kPixelSize / 2, 1e-6);
    EXPECT_NEAR(std::stod(lines[5]), kRangeTop - kPixelSize / 2, 1e-6);
}

TEST_F(Combining, CropCutsToTheTypedAreaAndMovesTheGeoreference) {
    StartWithPngTiles();
    const PixelRect rect = CropRectOf(Open(), 13);
    EXPECT_EQ(rect.Left, 128);
    EXPECT_EQ(rect.Top, 128);
    EXPECT_EQ(rect.Right, 384);
    EXPECT_EQ(rect.Bottom, 640);

    const CombineResult result = Combine("crop.png", ImageFormat::Png, true);
    const test::Decoded image = test::DecodePngFile(dir.File("crop.png"));
    ASSERT_EQ(image.Width, 256);
    ASSERT_EQ(image.Height, 512);
    EXPECT_EQ(image.At(0, 0), kRed);
    EXPECT_EQ(image.At(127, 127), kRed);
    EXPECT_EQ(image.At(128, 0), kGreen);
    EXPECT_EQ(image.At(0, 128), kBlue);
    EXPECT_EQ(image.At(255, 511), kYellow);
    // Only the tiles under the area are read: the missing tile of the last
    // row lies outside it in part, and is listed.
    EXPECT_EQ(result.Undrawn.size(), 2u);

    const std::vector<std::string> lines = ReadTextLines(dir.File("crop.pgw"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NEAR(std::stod(lines[4]), kRangeLeft + 128.5 * kPixelSize, 1e-6);
    EXPECT_NEAR(std::stod(lines[5]), kRangeTop - 128.5 * kPixelSize, 1e-6);
}

// Every digit a world file carries, whole and cropped: GIS programs place the
// image by them, so a change in the last one moves a map that was right.
TEST_F(Combining, WorldFilesKeepEveryDigit) {
    StartWithPngTiles();
    Combine("map.png", ImageFormat::Png);
    EXPECT_EQ(ReadFileBytes(dir.File("map.pgw")),
              "19.109257071294\n0\n0\n-19.109257071294\n12944161.6725534238\n"
              "4867500.4065714870\n");
    Combine("crop.png", ImageFormat::Png, true);
    EXPECT_EQ(ReadFileBytes(dir.File("crop.pgw")),
              "19.109257071294\n0\n0\n-19.109257071294\n12946607.6574585475\n"
              "4865054.4216663614\n");
}

TEST_F(Combining, CropRefusesAnAreaOutsideTheTiles) {
    StartWithPngTiles();
    // The typed area a degree west of the tiles.
    const std::string project = dir.File("newtask.tsln");
    std::string text = ReadFileBytes(project);
    for (const std::string key : {"LeftLongitude=", "RightLongitude="}) {
        const std::size_t at = text.find(key) + key.size();
        text.replace(at, text.find('\r', at) - at, "115");
    }
    WriteFileAtomic(project, text);
    EXPECT_THROW(CropRectOf(Open(), 13), ECombineError);
}

TEST_F(Combining, GdalReadsThePngWithItsGeoreferenceAndTheGeoTiff) {
    if (!test::ToolInstalled("gdalinfo") || !test::ToolInstalled("gdallocationinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    StartWithPngTiles();
    for (const char* name : {"map.png", "map.tif"}) {
        SCOPED_TRACE(name);
        Combine(name, *ImageFormatOfPath(name));
        const std::string info = test::GdalInfo(dir.File(name));
        EXPECT_NE(info.find("\"size\":[512,768]"), std::string::npos) << info.substr(0, 300);
        EXPECT_NE(info.find("\\\"EPSG\\\",3857]"), std::string::npos) << info.substr(0, 2000);
        const std::vector<double> transform = test::GeoTransformIn(info);
        ASSERT_EQ(transform.size(), 6u);
        EXPECT_NEAR(transform[0], kRangeLeft, 1e-6);
        EXPECT_NEAR(transform[1], kPixelSize, 1e-9);
        EXPECT_NEAR(transform[3], kRangeTop, 1e-6);
        EXPECT_NEAR(transform[5], -kPixelSize, 1e-9);
        EXPECT_EQ(test::GdalPixel(dir.File(name), 300, 10), kGreen);
        EXPECT_EQ(test::GdalPixel(dir.File(name), 511, 767), kYellow);
        EXPECT_EQ(test::GdalPixel(dir.File(name), 300, 300), test::kWhite);
    }
    const std::string tiff = test::GdalInfo(dir.File("map.tif"));
    EXPECT_NE(tiff.find("\"block\":[256,256]"), std::string::npos);
    EXPECT_NE(tiff.find("\"COMPRESSION\":\"DEFLATE\""), std::string::npos);
}

// An overlay's tiles: black at half cover must stay black at half cover
// where the format has alpha (GDAL reads 0 with alpha 128), and come out mid
// grey on white where it has none. Opaque tiles alone give no alpha band.
TEST_F(Combining, TilesWithAlphaKeepItWhereTheFormatCan) {
    if (!test::ToolInstalled("gdalinfo") || !test::ToolInstalled("gdallocationinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    Start();
    test::Raster overlay{256, 256, 4, {}};
    for (int i = 0; i < 256 * 256; ++i) {
        overlay.Pixels.insert(overlay.Pixels.end(), {0, 0, 0, 128});
    }
    PutTile(kMinX, kMinY, test::PngOf(overlay));
    PutTile(kMinX + 1, kMinY, test::EncodePng(kGreen));
    const auto value = [this](const std::string& name, int band, int x, int y) {
        const test::Run run = test::RunCommand(
            "gdallocationinfo -valonly -b " + std::to_string(band) + " " +
            test::Quoted(dir.File(name)) + " " + std::to_string(x) + " " + std::to_string(y));
        EXPECT_EQ(run.Status, 0) << run.Output;
        return std::stoi(run.Output);
    };
    for (const char* name : {"map.png", "map.tif"}) {
        SCOPED_TRACE(name);
        Combine(name, *ImageFormatOfPath(name));
        EXPECT_NE(test::GdalInfo(dir.File(name)).find("\"colorInterpretation\":\"Alpha\""),
                  std::string::npos);
        EXPECT_EQ(test::GdalPixel(dir.File(name), 10, 10), (test::Rgb{0, 0, 0}));
        EXPECT_EQ(value(name, 4, 10, 10), 128);
        EXPECT_EQ(test::GdalPixel(dir.File(name), 300, 10), kGreen);
        EXPECT_EQ(value(name, 4, 300, 10), 255);
        // Missing tiles are white as ever, and opaque.
        EXPECT_EQ(value(name, 4, 300, 300), 255);
    }
    Combine("map.bmp", ImageFormat::Bmp);
    EXPECT_EQ(test::GdalPixel(dir.File("map.bmp"), 10, 10), (test::Rgb{127, 127, 127}));
    EXPECT_EQ(test::GdalPixel(dir.File("map.bmp"), 300, 10), kGreen);

    PutTile(kMinX, kMinY, test::EncodePng(kRed));
    Combine("opaque.tif", ImageFormat::Tiff);
    EXPECT_EQ(test::GdalInfo(dir.File("opaque.tif")).find("Alpha"), std::string::npos);
}

TEST_F(Combining, GdalReadsTheBmpAndJpegWithTheirWorldFiles) {
    if (!test::ToolInstalled("gdalinfo") || !test::ToolInstalled("gdallocationinfo")) {
        GTEST_SKIP() << "gdalinfo is not installed";
    }
    StartWithPngTiles();
    for (const auto& [name, world, tolerance] :
         {std::tuple{"map.bmp", "map.bpw", 0}, std::tuple{"map.jpg", "map.jgw", 6}}) {
        SCOPED_TRACE(name);
        const CombineResult result = Combine(name, *ImageFormatOfPath(name));
        EXPECT_EQ(result.WorldFile, dir.File(world));
        const std::string info = test::GdalInfo(dir.File(name));
        EXPECT_NE(info.find("\"size\":[512,768]"), std::string::npos);
        const std::vector<double> transform = test::GeoTransformIn(info);
        ASSERT_EQ(transform.size(), 6u);
        EXPECT_NEAR(transform[0], kRangeLeft, 1e-6);
        EXPECT_NEAR(transform[3], kRangeTop, 1e-6);
        EXPECT_TRUE(Near(test::GdalPixel(dir.File(name), 10, 10), kRed, tolerance));
        EXPECT_TRUE(Near(test::GdalPixel(dir.File(name), 10, 300), kBlue, tolerance));
        EXPECT_TRUE(Near(test::GdalPixel(dir.File(name), 511, 767), kYellow, tolerance));
    }
}

TEST_F(Combining, AFailedWriteLeavesNothingAtTheOutputsName) {
    StartWithPngTiles();
    // A file size limit fails the writes as a full disk does.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 400;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (const char* name : {"map.png", "map.jpg", "map.bmp", "map.tif"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(Combine(name, *ImageFormatOfPath(name)), ECombineError);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{});

    // A folder that cannot hold the output.
    WriteFileAtomic(dir.File("plain"), "a file, not a folder");
    try {
        Combine("plain/map.png", ImageFormat::Png);
        ADD_FAILURE() << "no error";
    } catch (const ECombineError& error) {
        EXPECT_NE(std::string(error.what()).find("Cannot write " + dir.File("plain/map.png")),
                  std::string::npos)
            << error.what();
    }
}

TEST_F(Combining, DrawsNoTileThroughALinkNorAFileTooLargeOrSpecialAndSaysWhy) {
    StartWithPngTiles();
    const TaskReader reader = Open();
    // Where a tile should be: a link to an image elsewhere, a FIFO (whose
    // read would wait for a writer forever), and a file past the limit (sparse).
    const std::string elsewhere = dir.File("elsewhere.png");
    WriteFileAtomic(elsewhere, test::EncodePng(kRed));
    const std::string linked = reader.TilePath({13, kMinX + 1, kMinY + 1});
    ASSERT_EQ(::symlink(elsewhere.c_str(), linked.c_str()), 0);
    ASSERT_EQ(::mkfifo(reader.TilePath({13, kMinX, kMinY + 2}).c_str(), 0600), 0);
    RemoveFile(reader.TilePath({13, kMinX + 1, kMinY + 2}));
    {
        std::FILE* big = std::fopen(reader.TilePath({13, kMinX + 1, kMinY + 2}).c_str(), "wb");
        ASSERT_NE(big, nullptr);
        std::fclose(big);
    }
    std::filesystem::resize_file(reader.TilePath({13, kMinX + 1, kMinY + 2}),
                                 kDefaultMaxTileBytes + 1);

    const CombineResult result = Combine("map.png", ImageFormat::Png);
    ASSERT_EQ(result.Undrawn.size(), 3u);
    EXPECT_EQ(result.Undrawn[0].Reason, "its file is not read: a symbolic link, not followed");
    EXPECT_EQ(result.Undrawn[1].Reason, "its file is not read: a FIFO");
    EXPECT_EQ(result.Undrawn[2].Reason, "its file is not read: larger than " +
                                            std::to_string(kDefaultMaxTileBytes) + " bytes");
    const test::Decoded image = test::DecodePngFile(dir.File("map.png"));
    EXPECT_EQ(image.At(300, 300), test::kWhite);
    // The counts agree: what is not read is not there.
    EXPECT_EQ(reader.Count().Present, 3);
}

TEST_F(Combining, RefusesToReplaceWhatIsNoRegularFileAtAnyNameItWrites) {
    StartWithPngTiles();
    ASSERT_EQ(::mkfifo(dir.File("fifo.png").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.File("folder.png").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.File("device.png").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("world.pgw").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.File("prj.prj").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.File("aux.png.aux.xml").c_str()), 0);
    const struct {
        const char* name;
        const char* refused;
        const char* kind;
    } cases[] = {
        {"fifo.png", "fifo.png", "a FIFO"},
        {"folder.png", "folder.png", "a folder"},
        {"device.png", "device.png", "a device node"},
        {"world.png", "world.pgw", "a FIFO"},
        {"prj.png", "prj.prj", "a folder"},
        {"aux.png", "aux.png.aux.xml", "a device node"},
    };
    for (const auto& c : cases) {
        try {
            Combine(c.name, ImageFormat::Png);
            ADD_FAILURE() << c.name << " was written";
        } catch (const ECombineError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot write " + dir.File(c.refused) +
                                                     ": it is " + c.kind +
                                                     ", not a file an image may replace.");
        }
    }
    // Nothing was written, and what was there is still there.
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{});
    EXPECT_EQ(OutputRefusal(dir.File("fifo.png")), "a FIFO");
    EXPECT_TRUE(DirectoryExists(dir.File("folder.png")));
    EXPECT_EQ(OutputRefusal(dir.File("device.png")), "a device node");
}

TEST_F(Combining, AStopEndsItBetweenRowsAndLeavesNoOutput) {
    StartWithPngTiles();
    // Rows done when the stop came, for a stop asked after `when` rows of 3.
    const auto combineStoppedAfter = [this](std::int64_t when, const std::string& name) {
        StopSignal stop;
        std::int64_t rows = 0;
        CombineOptions options;
        options.OutputPath = dir.File(name);
        options.Format = *ImageFormatOfPath(name);
        options.Stop = &stop;
        try {
            CombineTiles(Open(), options, [&](std::int64_t done, std::int64_t) {
                rows = done;
                if (done == when) {
                    stop.Request();
                }
            });
            ADD_FAILURE() << "not cancelled";
        } catch (const ECancelled&) {
        }
        return rows;
    };
    for (const char* name : {"map.png", "map.tif"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(combineStoppedAfter(1, name), 1);
        EXPECT_EQ(FilesInFolder(), std::vector<std::string>{});
    }
    // An image already at the output's name stays, even when the stop comes
    // after the last row.
    WriteFileAtomic(dir.File("map.png"), "the old image");
    EXPECT_EQ(combineStoppedAfter(3, "map.png"), 3);
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"map.png"});
    EXPECT_EQ(ReadFileBytes(dir.File("map.png")), "the old image");
}

TEST_F(Combining, RefusesSizesTheFormatCannotHoldAndVectorTiles) {
    EXPECT_EQ(SizeRefusal(ImageFormat::Bmp, 37000, 37000), "");
    EXPECT_NE(SizeRefusal(ImageFormat::Bmp, 37900, 37900).find("--format tiff"), std::string::npos);
    EXPECT_EQ(SizeRefusal(ImageFormat::Jpeg, 65535, 65535), "");
    EXPECT_NE(SizeRefusal(ImageFormat::Jpeg, 65536, 256).find("--format tiff"), std::string::npos);
    EXPECT_NE(SizeRefusal(ImageFormat::Jpeg, 256, 65536), "");
    EXPECT_EQ(SizeRefusal(ImageFormat::Tiff, 1 << 20, 1 << 20), "");

    // 257 columns are too wide for a JPEG; the refusal comes before any
    // file is made.
    params.RightLongitude = test::SmallTask::params.LeftLongitude + 257 * 360.0 / 8192;
    Start();
    EXPECT_THROW(Combine("wide.jpg", ImageFormat::Jpeg), ECombineError);
    EXPECT_FALSE(FileExists(dir.File("wide.jpg")));

    params.MapsType = kMapsTypeSource;
    params.Source = TileSource::Read(
        "Vector", {{"Url", "https://tiles.example/{z}/{x}/{y}.pbf"}, {"Format", "pbf"}}, "1.0");
    Start();
    try {
        Combine("vector.png", ImageFormat::Png);
        ADD_FAILURE() << "no error";
    } catch (const ECombineError& error) {
        EXPECT_NE(std::string(error.what()).find("pbf"), std::string::npos);
    }
}

// The triangle of the shaped task at zoom 13: every tile of its cover red
// but (6742, 3103), which is missing; (6743, 3103) lies outside the shape,
// and a file there is no tile of the task.
class CombiningAShape : public Combining {
protected:
    void SetUp() override {
        StartShaped(14);
        for (const auto& [x, y] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 1}}) {
            PutTile(kMinX + x, kMinY + y, test::EncodePng(kRed));
        }
        PutTile(kMinX + 1, kMinY + 2, test::EncodePng(kGreen));
    }
};

TEST_F(CombiningAShape, LeavesOutsideTransparentOrWhiteAndListsOnlyTheCoversTiles) {
    const CombineResult result = Combine("shape.png", ImageFormat::Png, false, 13);
    EXPECT_EQ(result.Zoom, 13);
    ASSERT_EQ(result.Undrawn.size(), 1u);
    EXPECT_EQ(result.Undrawn[0].X, kMinX);
    EXPECT_EQ(result.Undrawn[0].Y, kMinY + 2);
    EXPECT_EQ(result.Undrawn[0].Reason, "missing");

    const test::Decoded png = test::DecodePngFile(dir.File("shape.png"), true);
    ASSERT_EQ(png.Width, 512);
    ASSERT_EQ(png.Height, 768);
    EXPECT_EQ(png.At(10, 10), kRed);
    EXPECT_EQ(png.Alpha(10, 10), 255);
    // The missing tile of the cover is white, the place outside it clear.
    EXPECT_EQ(png.At(10, 600), test::kWhite);
    EXPECT_EQ(png.Alpha(10, 600), 255);
    EXPECT_EQ(png.Alpha(300, 600), 0);
    EXPECT_EQ(png.At(300, 600), test::kWhite);
    EXPECT_EQ(png.Alpha(511, 767), 0);
    EXPECT_EQ(png.Alpha(300, 500), 255);

    // A JPEG has no alpha: the outside is white, and still not listed.
    const CombineResult jpeg = Combine("shape.jpg", ImageFormat::Jpeg, false, 13);
    EXPECT_EQ(jpeg.Undrawn.size(), 1u);
}

TEST_F(CombiningAShape, TheTiffKeepsTheAlphaForGdal) {
    if (!test::ToolInstalled("gdallocationinfo")) {
        GTEST_SKIP() << "gdallocationinfo is not installed";
    }
    Combine("shape.tif", ImageFormat::Tiff, false, 13);
    const auto alphaAt = [this](int x, int y) {
        const test::Run run = test::RunCommand("gdallocationinfo -valonly -b 4 " +
                                               test::Quoted(dir.File("shape.tif")) + " " +
                                               std::to_string(x) + " " + std::to_string(y));
        EXPECT_EQ(run.Status, 0) << run.Output;
        return std::stoi(run.Output);
    };
    EXPECT_EQ(alphaAt(10, 10), 255);
    EXPECT_EQ(alphaAt(300, 600), 0);
    EXPECT_EQ(test::GdalPixel(dir.File("shape.tif"), 10, 10), kRed);
}

TEST_F(CombiningAShape, TakesTheDeepestZoomUnlessToldAndRefusesAZoomItHasNot) {
    // Zoom 14 has no tiles yet: the 12 tiles of its cover are listed, not the
    // 18 of its range.
    const CombineResult deepest = Combine("deep.png", ImageFormat::Png);
    EXPECT_EQ(deepest.Zoom, 14);
    EXPECT_EQ(deepest.Width, 3 * 256);
    EXPECT_EQ(deepest.Height, 6 * 256);
    EXPECT_EQ(deepest.Undrawn.size(), 12u);
    const std::vector<std::string> lines = ReadTextLines(dir.File("deep.pgw"));
    ASSERT_EQ(lines.size(), 6u);
    // Column 13485 at zoom 14 begins half a zoom-13 tile east of 6742.
    EXPECT_NEAR(std::stod(lines[4]), kRangeLeft + 128.25 * kPixelSize, 1e-6);

    for (const int zoom : {12, 15}) {
        try {
            Combine("none.png", ImageFormat::Png, false, zoom);
            ADD_FAILURE() << "zoom " << zoom << " combined";
        } catch (const ECombineError& error) {
            EXPECT_EQ(std::string(error.what()), "The task has no tiles at zoom " +
                                                     std::to_string(zoom) +
                                                     "; its zooms are 13 to 14.");
        }
    }
    EXPECT_FALSE(FileExists(dir.File("none.png")));
}

TEST_F(CombiningAShape, CropCutsToTheShapesBoundingRectangle) {
    // The triangle spans columns 6742.6..6743.7 and rows 3101.3..3103.7.
    const PixelRect rect = CropRectOf(Open(), 13);
    EXPECT_EQ(rect.Left, 153);
    EXPECT_EQ(rect.Top, 76);
    EXPECT_EQ(rect.Right, 436);
    EXPECT_EQ(rect.Bottom, 692);
    const CombineResult result = Combine("crop.png", ImageFormat::Png, true, 13);
    EXPECT_EQ(result.Width, 436 - 153);
    EXPECT_EQ(result.Height, 692 - 76);
    const test::Decoded png = test::DecodePngFile(dir.File("crop.png"), true);
    EXPECT_EQ(png.Alpha(0, 0), 255);
    EXPECT_EQ(png.Alpha(result.Width - 1, result.Height - 1), 0);
}

}  // namespace
}  // namespace tessellon
