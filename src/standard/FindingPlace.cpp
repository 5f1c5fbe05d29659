#include "standard/FindingPlace.h"

#include "standard/AreaPolygon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vexa {

namespace {

TPlaceXY XY(const TReal48& x, const TReal48& y) {
    return {static_cast<double>(x.Value()), static_cast<double>(y.Value())};
}

// Restores the block's walk budget when the place's own walk ends.
class TWalkBudgetScope {
public:
    TWalkBudgetScope(TBlk& blk, std::int64_t steps) : FBlk(blk), FSaved(blk.WalkBudget()) { blk.SetWalkBudget(steps); }
    ~TWalkBudgetScope() { FBlk.SetWalkBudget(FSaved); }
    TWalkBudgetScope(const TWalkBudgetScope&) = delete;
    TWalkBudgetScope& operator=(const TWalkBudgetScope&) = delete;

private:
    TBlk& FBlk;
    std::int64_t FSaved;
};

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

void TFindingPlace::Box(double& minX, double& minY, double& maxX, double& maxY) const {
    if (Crds.empty()) {
        minX = minY = maxX = maxY = 0;
        return;
    }
    minX = minY = std::numeric_limits<double>::max();
    maxX = maxY = std::numeric_limits<double>::lowest();
    auto add = [&](const std::vector<TPlaceXY>& crds) {
        for (const TPlaceXY& c : crds) {
            minX = std::min(minX, c.X);
            minY = std::min(minY, c.Y);
            maxX = std::max(maxX, c.X);
            maxY = std::max(maxY, c.Y);
        }
    };
    add(Crds);
    // The holes lie inside their outer rings.
    for (const TPlacePolygon& polygon : Polygons) add(polygon.front());
}

std::int64_t PlaceWalkBudget(TBlk& blk) { return 8 * std::int64_t(std::max(blk.LineCount(), 0)) + 64; }

namespace {

// The walk of an area's boundary as the area check makes it (walk, pairing of inner lines,
// joining into one ring within kAreaRingTolerance); with polygons given, the area's
// polygons from the same walk when the ring closes.
bool WalkArea(TBlk& blk, const TBlkArea& area, TCrds& ring, std::vector<TPlacePolygon>* polygons, std::string& reason,
              std::int64_t* steps, TLins* walked) {
    ring.clear();
    reason.clear();
    if (polygons) polygons->clear();
    // A ring passes each boundary line at most twice (inner lines): a walk on broken
    // links ends within a bound of the line count.
    std::int64_t limit = 2 * std::int64_t(std::max(blk.LineCount(), 0)) + 16;
    if (steps) limit = std::min(limit, *steps);
    if (limit <= 0) {
        reason = "hranica plochy sa neprechádzala (vyčerpaný limit krokov)";
        return false;
    }
    TWalkBudgetScope budget(blk, limit);
    struct TSpend {
        TBlk& Blk;
        std::int64_t Limit;
        std::int64_t* Steps;
        ~TSpend() {
            if (Steps) *Steps -= Limit - std::max<std::int64_t>(Blk.WalkBudget(), 0);
        }
    } spend{blk, limit, steps};
    TLins lines;
    try {
        std::vector<bool> reversed;
        blk.AreaBoundary(area, lines, walked, polygons ? &reversed : nullptr);
        const TLins walk = polygons ? lines : TLins();
        std::int32_t bad = 0;
        if (blk.CheckInnerLines(lines, bad) == 0) throw EBlkPloError::LineOfArea(blk.Path(), area.Number, bad);
        blk.BoundaryPolygon(lines, ring, kAreaRingTolerance);
        if (polygons) {
            *polygons = PolygonsOfRings(WalkRings(blk, walk, reversed, kAreaRingTolerance));
            // A boundary that encloses nothing (its lines there and back): the ring as it is.
            if (polygons->empty()) {
                TPlaceRing flat;
                for (const TBlkCrd& c : ring) flat.push_back(XY(c.X, c.Y));
                polygons->push_back({std::move(flat)});
            }
        }
        return true;
    } catch (const EBlkException& e) {
        if (walked && !lines.empty()) *walked = lines;  // walked whole, but the lines do not make a ring
        ring.clear();
        if (polygons) polygons->clear();
        reason = OneLine(e.what());
        return false;
    }
}

}  // namespace

bool AreaRing(TBlk& blk, const TBlkArea& area, TCrds& ring, std::string& reason, std::int64_t* steps, TLins* walked) {
    return WalkArea(blk, area, ring, nullptr, reason, steps, walked);
}

bool AreaPolygons(TBlk& blk, const TBlkArea& area, std::vector<TPlacePolygon>& polygons, std::string& reason,
                  std::int64_t* steps, TLins* walked) {
    TCrds ring;
    return WalkArea(blk, area, ring, &polygons, reason, steps, walked);
}

TFindingPlace LinePlace(TBlk& blk, const TBlkLine& line) {
    TFindingPlace place;
    TCrds crds;
    blk.ReadLineCrds(line, crds);
    for (const TBlkCrd& c : crds) place.Crds.push_back(XY(c.X, c.Y));
    const std::size_t n = place.Crds.size();
    if (n == 0) return {};
    if (n % 2 == 1) {
        place.Anchor = place.Crds[n / 2];
    } else {
        const TPlaceXY& a = place.Crds[n / 2 - 1];
        const TPlaceXY& b = place.Crds[n / 2];
        place.Anchor = {(a.X + b.X) / 2, (a.Y + b.Y) / 2};
    }
    place.Shape = TPlaceShape::Line;
    return place;
}

TFindingPlace PointPlace(const TBlkPoint& point) {
    TFindingPlace place;
    place.Anchor = XY(point.X, point.Y);
    place.Crds = {place.Anchor};
    place.Shape = TPlaceShape::Point;
    return place;
}

TFindingPlace TextPlace(const TBlkText& text) {
    TFindingPlace place;
    const TPlaceXY lo = XY(text.Rect.MinX, text.Rect.MinY);
    const TPlaceXY hi = XY(text.Rect.MaxX, text.Rect.MaxY);
    place.Crds = {lo, {hi.X, lo.Y}, hi, {lo.X, hi.Y}, lo};
    place.Anchor = {(lo.X + hi.X) / 2, (lo.Y + hi.Y) / 2};
    place.Shape = TPlaceShape::Text;
    return place;
}

namespace {

// The lines a broken walk followed, the vertex where the ring breaks (the end of the last
// line away from the line before it) and a short reason naming the line the walk could not
// go on to (the last line the block store's message names).
void AddWalk(TBlk& blk, const TLins& walked, TFindingPlace& place) {
    for (const TBlkLine& l : walked) {
        TCrds crds;
        try {
            blk.ReadLineCrds(l, crds);
        } catch (const EBlkException&) {
            continue;
        }
        std::vector<TPlaceXY> line;
        for (const TBlkCrd& c : crds) line.push_back(XY(c.X, c.Y));
        if (!line.empty()) place.Walked.push_back(std::move(line));
    }
    if (!place.Walked.empty()) {
        const std::vector<TPlaceXY>& last = place.Walked.back();
        TPlaceXY end = last.back();
        if (place.Walked.size() > 1) {
            const std::vector<TPlaceXY>& before = place.Walked[place.Walked.size() - 2];
            auto near = [&](TPlaceXY p) {
                return std::min(std::hypot(p.X - before.front().X, p.Y - before.front().Y),
                                std::hypot(p.X - before.back().X, p.Y - before.back().Y));
            };
            end = near(last.front()) > near(last.back()) ? last.front() : last.back();
        }
        place.Break = end;
    }
    const std::size_t at = place.Reason.rfind("L:");
    std::int32_t line = 0;
    if (at != std::string::npos) line = std::atoi(place.Reason.c_str() + at + 2);
    place.BreakReason = line > 0 ? "hranica plochy sa nezatvorí pri línii L" + std::to_string(line)
                                 : std::string("hranica plochy sa nezatvorí");
}

}  // namespace

TFindingPlace AreaPlace(TBlk& blk, const TBlkArea& area, bool ring, std::int64_t* steps) {
    TFindingPlace place;
    place.Anchor = XY(area.RefX, area.RefY);
    TLins walked;
    if (ring && AreaPolygons(blk, area, place.Polygons, place.Reason, steps, &walked)) {
        place.Crds = place.Polygons.front().front();
        place.Shape = TPlaceShape::Area;
    } else {
        place.Crds = {place.Anchor};
        place.Shape = TPlaceShape::AreaPoint;
        if (ring) AddWalk(blk, walked, place);
    }
    return place;
}

TFindingPlace ElementPlace(TBlk& blk, TBlkElementGroup group, std::int32_t number, std::int64_t* steps) {
    try {
        switch (group) {
        case egLine: {
            TBlkLine line;
            blk.FindLine(number, line);
            return LinePlace(blk, line);
        }
        case egPoint: {
            TBlkPoint point;
            blk.FindPoint(number, point);
            return PointPlace(point);
        }
        case egText: {
            TBlkText text;
            blk.FindText(number, text);
            return TextPlace(text);
        }
        case egArea: {
            TBlkArea area;
            blk.FindArea(number, area);
            return AreaPlace(blk, area, true, steps);
        }
        }
    } catch (const EBlkException&) {
        return {};
    }
    return {};
}

TFindingPlace TablePlace(const std::string& fileName) {
    TFindingPlace place;
    place.Table = fileName;
    return place;
}

std::optional<double> MeasureOf(const TFindingPlace& place) {
    const std::vector<TPlaceXY>& c = place.Crds;
    if (place.Shape == TPlaceShape::Line) {
        double length = 0;
        for (std::size_t i = 1; i < c.size(); ++i) length += std::hypot(c[i].X - c[i - 1].X, c[i].Y - c[i - 1].Y);
        return length;
    }
    if (place.Shape == TPlaceShape::Area && !place.Polygons.empty()) return PolygonsArea(place.Polygons);
    if (place.Shape == TPlaceShape::Area && c.size() >= 4) {
        // About the first vertex, so that the map's large coordinates do not cost precision.
        double twice = 0;
        for (std::size_t i = 1; i + 1 < c.size(); ++i)
            twice += (c[i].X - c[0].X) * (c[i + 1].Y - c[0].Y) - (c[i + 1].X - c[0].X) * (c[i].Y - c[0].Y);
        return std::abs(twice) / 2;
    }
    return std::nullopt;
}

}  // namespace vexa
