#include "standard/AreaPolygon.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace vexa {

namespace {

bool Within(const TBlkCrd& a, const TBlkCrd& b, long double t) {
    return std::fabs(a.X.Value() - b.X.Value()) <= t && std::fabs(a.Y.Value() - b.Y.Value()) <= t;
}

TPlaceXY XY(const TBlkCrd& c) { return {static_cast<double>(c.X.Value()), static_cast<double>(c.Y.Value())}; }

struct TXYHash {
    std::size_t operator()(const TPlaceXY& p) const {
        std::uint64_t x, y;
        std::memcpy(&x, &p.X, sizeof x);
        std::memcpy(&y, &p.Y, sizeof y);
        return std::hash<std::uint64_t>()(x * 0x9E3779B97F4A7C15ULL ^ y);
    }
};

// Whether a closed ring passes a vertex twice (its closing vertex aside).
bool HasRepeats(const TPlaceRing& ring) {
    const std::size_t n = ring.size() - 1;
    if (n <= 48) {
        for (std::size_t i = 1; i < n; ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (ring[i] == ring[j]) return true;
        return false;
    }
    std::vector<std::pair<double, double>> sorted;
    sorted.reserve(n);
    for (std::size_t i = 0; i < n; ++i) sorted.emplace_back(ring[i].X, ring[i].Y);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
}

// Cuts a closed ring at every vertex it passes twice; each loop so cut off is closed.
void CutAtRepeats(const TPlaceRing& ring, std::vector<TPlaceRing>& out) {
    if (!HasRepeats(ring)) {
        out.push_back(ring);
        return;
    }
    std::vector<TPlaceXY> path;
    std::unordered_map<TPlaceXY, std::size_t, TXYHash> at;
    for (const TPlaceXY& v : ring) {
        const auto it = at.find(v);
        if (it == at.end()) {
            at.emplace(v, path.size());
            path.push_back(v);
            continue;
        }
        const std::size_t k = it->second;
        TPlaceRing loop(path.begin() + std::ptrdiff_t(k), path.end());
        loop.push_back(v);
        if (loop.size() >= 4) out.push_back(std::move(loop));
        for (std::size_t i = k + 1; i < path.size(); ++i) at.erase(path[i]);
        path.resize(k + 1);
    }
}

struct TRingBox {
    double MinX, MinY, MaxX, MaxY;
    bool Holds(const TRingBox& o) const { return MinX <= o.MinX && MinY <= o.MinY && o.MaxX <= MaxX && o.MaxY <= MaxY; }
};

TRingBox BoxOf(const TPlaceRing& ring) {
    TRingBox b{ring[0].X, ring[0].Y, ring[0].X, ring[0].Y};
    for (const TPlaceXY& p : ring) {
        b.MinX = std::min(b.MinX, p.X);
        b.MinY = std::min(b.MinY, p.Y);
        b.MaxX = std::max(b.MaxX, p.X);
        b.MaxY = std::max(b.MaxY, p.Y);
    }
    return b;
}

// Where p lies against a closed ring: inside (1), outside (-1) or on its boundary (0).
int Side(const TPlaceRing& ring, TPlaceXY p) {
    bool inside = false;
    for (std::size_t i = 1; i < ring.size(); ++i) {
        const TPlaceXY a = ring[i - 1], b = ring[i];
        const double cross = (b.X - a.X) * (p.Y - a.Y) - (p.X - a.X) * (b.Y - a.Y);
        if (cross == 0 && std::min(a.X, b.X) <= p.X && p.X <= std::max(a.X, b.X) && std::min(a.Y, b.Y) <= p.Y &&
            p.Y <= std::max(a.Y, b.Y))
            return 0;
        if ((a.Y > p.Y) != (b.Y > p.Y)) {
            const double x = a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y);
            if (p.X < x) inside = !inside;
        }
    }
    return inside ? 1 : -1;
}

// Whether ring lies inside outer. Rings of one area meet at most in vertices, so the first
// vertex (or middle of a side) of ring that is not on outer's boundary tells.
bool Inside(const TPlaceRing& ring, const TPlaceRing& outer) {
    for (const TPlaceXY& p : ring)
        if (const int side = Side(outer, p); side != 0) return side > 0;
    for (std::size_t i = 1; i < ring.size(); ++i) {
        const TPlaceXY m{(ring[i - 1].X + ring[i].X) / 2, (ring[i - 1].Y + ring[i].Y) / 2};
        if (const int side = Side(outer, m); side != 0) return side > 0;
    }
    return false;
}

}  // namespace

double SignedRingArea(const TPlaceRing& c) {
    if (c.size() < 4) return 0;
    double twice = 0;
    for (std::size_t i = 1; i + 1 < c.size(); ++i)
        twice += (c[i].X - c[0].X) * (c[i + 1].Y - c[0].Y) - (c[i + 1].X - c[0].X) * (c[i].Y - c[0].Y);
    return twice / 2;
}

double PolygonsArea(const std::vector<TPlacePolygon>& polygons) {
    double area = 0;
    for (const TPlacePolygon& polygon : polygons)
        for (std::size_t i = 0; i < polygon.size(); ++i)
            area += i == 0 ? std::abs(SignedRingArea(polygon[i])) : -std::abs(SignedRingArea(polygon[i]));
    return area;
}

std::vector<TPlacePolygon> PolygonsOfRings(std::vector<TPlaceRing> closed) {
    // Most areas: one ring that does not touch itself.
    if (closed.size() == 1 && closed[0].size() >= 4 && closed[0].front() == closed[0].back() &&
        !HasRepeats(closed[0])) {
        const double a = SignedRingArea(closed[0]);
        if (a == 0 || !std::isfinite(a)) return {};
        if (a < 0) std::reverse(closed[0].begin(), closed[0].end());
        return {{std::move(closed[0])}};
    }
    std::vector<TPlaceRing> rings;
    for (const TPlaceRing& r : closed)
        if (r.size() >= 4 && r.front() == r.back()) CutAtRepeats(r, rings);
    std::vector<double> area;
    std::vector<TPlaceRing> kept;
    for (TPlaceRing& r : rings) {
        const double a = SignedRingArea(r);
        if (a == 0 || !std::isfinite(a)) continue;
        area.push_back(a);
        kept.push_back(std::move(r));
    }
    const std::size_t n = kept.size();
    std::vector<TRingBox> box;
    for (const TPlaceRing& r : kept) box.push_back(BoxOf(r));
    // Largest first: a ring's containers come before it.
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return std::abs(area[a]) > std::abs(area[b]); });

    std::vector<TPlacePolygon> polygons;
    std::vector<int> depth(n, 0);
    std::vector<std::size_t> polygonOf(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        // The smallest ring around this one: the last container in the order.
        std::optional<std::size_t> parent;
        for (std::size_t m = 0; m < k; ++m) {
            const std::size_t j = order[m];
            if (box[j].Holds(box[i]) && Inside(kept[i], kept[j])) parent = j;
        }
        depth[i] = parent ? depth[*parent] + 1 : 0;
        const bool hole = depth[i] % 2 == 1;
        // Outer rings counter-clockwise, holes clockwise.
        TPlaceRing ring = kept[i];  // kept stays whole: the smaller rings are tested against it
        if ((area[i] > 0) == hole) std::reverse(ring.begin(), ring.end());
        if (hole) {
            polygonOf[i] = polygonOf[*parent];
            polygons[polygonOf[i]].push_back(std::move(ring));
        } else {
            polygonOf[i] = polygons.size();
            polygons.push_back({std::move(ring)});
        }
    }
    return polygons;
}

std::vector<TPlaceRing> WalkRings(TBlk& blk, const TLins& walk, const std::vector<bool>& reversed, double tolerance) {
    long double t = std::fabs(static_cast<long double>(tolerance));
    if (!(t <= 0.01L)) t = 0.01L;

    // A line passed there and back at once (a line ending inside the area) adds nothing.
    std::vector<std::size_t> steps;
    for (std::size_t i = 0; i < walk.size(); ++i) {
        if (!steps.empty() && walk[steps.back()].Number == walk[i].Number)
            steps.pop_back();
        else
            steps.push_back(i);
    }

    // One open ring per bridge being crossed: the lines between the two passes of a
    // bridge belong to the ring beyond it.
    struct TOpenRing {
        std::int32_t Bridge;  // 0: the ring the walk starts on
        TCrds Crds;
        std::int32_t FirstLine = 0, LastLine = 0;
        int Lines = 0;
    };
    std::vector<TOpenRing> open(1, TOpenRing{0, {}});
    std::vector<TPlaceRing> rings;
    auto close = [&](TOpenRing& r) {
        if (r.Crds.empty()) return;
        if (Within(r.Crds.back(), r.Crds.front(), t)) r.Crds.back() = r.Crds.front();
        if (!(r.Crds.back().X == r.Crds.front().X && r.Crds.back().Y == r.Crds.front().Y))
            throw EBlkPloError::Lines(blk.Path(), r.FirstLine, r.LastLine);
        TPlaceRing ring;
        ring.reserve(r.Crds.size());
        for (const TBlkCrd& c : r.Crds) ring.push_back(XY(c));
        rings.push_back(std::move(ring));
    };
    TCrds v;
    for (std::size_t i : steps) {
        const TBlkLine& l = walk[i];
        const std::int32_t number = l.Number;
        if (l.AreaA == l.AreaB) {
            if (open.size() > 1 && open.back().Bridge == number) {
                close(open.back());
                open.pop_back();
            } else {
                open.push_back(TOpenRing{number, {}});
            }
            continue;
        }
        blk.ReadLineCrds(l, v);
        if (v.empty()) continue;
        if (i < reversed.size() && reversed[i]) TBlk::ReverseCrds(v);
        TOpenRing& r = open.back();
        if (!r.Crds.empty()) {
            // The walk's direction, unless the vertices say the line meets the other way round.
            if (Within(r.Crds.back(), v.front(), t)) {
            } else if (Within(r.Crds.back(), v.back(), t)) {
                TBlk::ReverseCrds(v);
            } else if (r.Lines == 1 && Within(r.Crds.front(), v.front(), t)) {
                TBlk::ReverseCrds(r.Crds);
            } else if (r.Lines == 1 && Within(r.Crds.front(), v.back(), t)) {
                TBlk::ReverseCrds(r.Crds);
                TBlk::ReverseCrds(v);
            } else {
                throw EBlkPloError::Lines(blk.Path(), r.LastLine, number);
            }
            v.front() = r.Crds.back();
            r.Crds.insert(r.Crds.end(), v.begin() + 1, v.end());
        } else {
            r.Crds = v;
            r.FirstLine = number;
        }
        r.LastLine = number;
        ++r.Lines;
    }
    // Bridges are paired (the area check's pairing of inner lines): what is left open is the start ring.
    while (!open.empty()) {
        close(open.back());
        open.pop_back();
    }
    return rings;
}

}  // namespace vexa
