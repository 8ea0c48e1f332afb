#include "geo/shape_tiles.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessellon {

namespace {

// The grid's northern edge; the southern one is its negative.
constexpr double kGridEdgeLatitude = 85.0511287798066;

// One side of a ring in tile units, as it was drawn (the winding needs the
// direction).
struct Edge {
    double X0, Y0, X1, Y1;
    // +1 or -1: what crossing the edge eastwards adds to the winding number
    // of the points south of it.
    int Winding;
    // Columns whose strips the edge meets.
    std::int64_t FirstColumn, LastColumn;

    double MinX() const { return std::min(X0, X1); }
    double MaxX() const { return std::max(X0, X1); }
    // y where the edge meets the line x; an end's own y at the ends.
    double YAt(double x) const {
        if (x == X0) {
            return Y0;
        }
        if (x == X1) {
            return Y1;
        }
        return Y0 + (x - X0) * (Y1 - Y0) / (X1 - X0);
    }
};

struct Crossing {
    double Y;
    int Winding;
};

// Rows first..last, both included.
struct RowInterval {
    std::int64_t First, Last;
};

// Twice the signed area of a ring in tile units.
double RingArea(const std::vector<std::pair<double, double>>& ring) {
    double area = 0;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        area += ring[j].first * ring[i].second - ring[i].first * ring[j].second;
    }
    return area;
}

class Rasteriser {
public:
    explicit Rasteriser(int zoom) : side_(std::int64_t{1} << zoom), zoom_(zoom) {}

    // Outer rings count +1 inside, holes -1, whichever way they were drawn,
    // so overlapping polygons join and holes cut.
    void AddRing(const GeoRing& ring, bool hole) {
        std::vector<std::pair<double, double>>& points = scratchRing_;
        points.clear();
        for (const GeoPoint& p : ring) {
            const double latitude = std::clamp(p.Latitude, -kGridEdgeLatitude, kGridEdgeLatitude);
            const double x = std::clamp(LongitudeToTileXExact(p.Longitude, zoom_), 0.0,
                                        static_cast<double>(side_));
            const double y =
                std::clamp(LatitudeToTileYExact(latitude, zoom_), 0.0, static_cast<double>(side_));
            if (points.empty() || points.back() != std::make_pair(x, y)) {
                points.emplace_back(x, y);
            }
        }
        if (points.size() > 1 && points.front() == points.back()) {
            points.pop_back();
        }
        if (points.empty()) {
            return;
        }
        const double area = RingArea(points);
        const int sign = (area >= 0) == !hole ? 1 : -1;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const auto [x0, y0] = points[i];
            const auto [x1, y1] = points[(i + 1) % points.size()];
            Edge edge{x0, y0, x1, y1, x1 > x0 ? sign : -sign, 0, 0};
            edge.FirstColumn =
                std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(edge.MinX())) - 1);
            edge.LastColumn =
                std::min(side_ - 1, static_cast<std::int64_t>(std::floor(edge.MaxX())));
            edges_.push_back(edge);
        }
    }

    ShapeTiles Run() {
        ShapeTiles tiles;
        if (edges_.empty()) {
            return tiles;
        }
        std::sort(edges_.begin(), edges_.end(),
                  [](const Edge& a, const Edge& b) { return a.FirstColumn < b.FirstColumn; });
        std::int64_t lastColumn = 0;
        for (const Edge& e : edges_) {
            lastColumn = std::max(lastColumn, e.LastColumn);
        }
        const std::int64_t firstColumn = edges_.front().FirstColumn;

        std::int64_t minRow = side_;
        std::int64_t maxRow = -1;
        std::int64_t firstFilled = -1;
        std::int64_t lastFilled = -1;
        std::vector<std::uint32_t> columnStart;
        columnStart.reserve(static_cast<std::size_t>(lastColumn - firstColumn + 2));
        std::vector<RowSpan> spans;
        std::size_t next = 0;
        std::vector<const Edge*> active;
        for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
            while (next < edges_.size() && edges_[next].FirstColumn <= column) {
                active.push_back(&edges_[next++]);
            }
            std::erase_if(active, [column](const Edge* e) { return e->LastColumn < column; });
            columnStart.push_back(static_cast<std::uint32_t>(spans.size()));
            if (active.empty()) {
                continue;
            }
            const std::size_t before = spans.size();
            ColumnRows(column, active, spans);
            if (spans.size() > before) {
                minRow = std::min<std::int64_t>(minRow, spans[before].MinY);
                maxRow = std::max<std::int64_t>(maxRow, spans.back().MaxY);
                if (firstFilled < 0) {
                    firstFilled = column;
                }
                lastFilled = column;
            }
        }
        columnStart.push_back(static_cast<std::uint32_t>(spans.size()));
        if (firstFilled < 0) {
            return tiles;
        }
        // Only the columns from the first to the last that hold tiles.
        const auto from = static_cast<std::size_t>(firstFilled - firstColumn);
        const auto to = static_cast<std::size_t>(lastFilled - firstColumn);
        tiles.ColumnStart.assign(columnStart.begin() + static_cast<std::ptrdiff_t>(from),
                                 columnStart.begin() + static_cast<std::ptrdiff_t>(to) + 2);
        const std::uint32_t offset = tiles.ColumnStart.front();
        for (std::uint32_t& start : tiles.ColumnStart) {
            start -= offset;
        }
        tiles.Spans.assign(spans.begin() + offset, spans.begin() + tiles.ColumnStart.back() +
                                                       static_cast<std::ptrdiff_t>(offset));
        tiles.Range = {static_cast<std::int32_t>(firstFilled), static_cast<std::int32_t>(minRow),
                       static_cast<std::int32_t>(lastFilled), static_cast<std::int32_t>(maxRow)};
        return tiles;
    }

private:
    // Rows first..last of a closed interval [low, high] of y: the rows whose
    // closed squares meet it.
    void AddRows(double low, double high) {
        const auto first = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(low)) - 1);
        const auto last = std::min(side_ - 1, static_cast<std::int64_t>(std::floor(high)));
        if (first <= last) {
            intervals_.push_back({first, last});
        }
    }

    void ColumnRows(std::int64_t column, const std::vector<const Edge*>& active,
                    std::vector<RowSpan>& spans) {
        intervals_.clear();
        crossings_.clear();
        const auto west = static_cast<double>(column);
        const double east = west + 1;
        for (const Edge* e : active) {
            // The part of the edge within the strip.
            const double from = std::max(e->MinX(), west);
            const double to = std::min(e->MaxX(), east);
            if (e->X0 == e->X1) {
                AddRows(std::min(e->Y0, e->Y1), std::max(e->Y0, e->Y1));
            } else {
                const double a = e->YAt(from);
                const double b = e->YAt(to);
                AddRows(std::min(a, b), std::max(a, b));
            }
            // Half-open, so a vertex on the line counts once.
            if (e->MinX() <= west && west < e->MaxX()) {
                crossings_.push_back({e->YAt(west), e->Winding});
            }
        }
        std::sort(crossings_.begin(), crossings_.end(),
                  [](const Crossing& a, const Crossing& b) { return a.Y < b.Y; });
        int winding = 0;
        double enter = 0;
        for (const Crossing& c : crossings_) {
            const int before = winding;
            winding += c.Winding;
            if (before == 0 && winding != 0) {
                enter = c.Y;
            } else if (before != 0 && winding == 0) {
                AddRows(enter, c.Y);
            }
        }
        std::sort(intervals_.begin(), intervals_.end(),
                  [](const RowInterval& a, const RowInterval& b) { return a.First < b.First; });
        std::int64_t first = -1;
        std::int64_t last = -2;
        for (const RowInterval& r : intervals_) {
            if (r.First > last + 1) {
                if (first >= 0) {
                    spans.push_back(
                        {static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)});
                }
                first = r.First;
                last = r.Last;
            } else {
                last = std::max(last, r.Last);
            }
        }
        if (first >= 0) {
            spans.push_back({static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)});
        }
    }

    const std::int64_t side_;
    const int zoom_;
    std::vector<Edge> edges_;
    std::vector<std::pair<double, double>> scratchRing_;
    std::vector<RowInterval> intervals_;
    std::vector<Crossing> crossings_;
};

}  // namespace

std::int64_t ShapeTiles::Count() const {
    std::int64_t count = 0;
    for (const RowSpan& span : Spans) {
        count += span.Count();
    }
    return count;
}

ShapeTiles CoverShape(const GeoShape& shape, int zoom) {
    Rasteriser rasteriser(zoom);
    for (const GeoPolygon& polygon : shape.Polygons) {
        rasteriser.AddRing(polygon.Outer, false);
        for (const GeoRing& hole : polygon.Holes) {
            rasteriser.AddRing(hole, true);
        }
    }
    return rasteriser.Run();
}

}  // namespace tessellon
