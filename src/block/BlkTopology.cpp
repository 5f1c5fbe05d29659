// Area topology: the boundary walk through the line links, the pairing of inner lines,
// the assembly of the boundary ring, and the area test built on them.
#include "block/BlkObj.h"

#include <algorithm>
#include <cmath>

namespace vexa {

namespace {

// A valid walk passes each line at most twice; more steps than that mean the links
// run in a circle that never returns to the start.
std::int64_t WalkBound(std::int32_t lineCount) { return 2 * std::int64_t(std::max<std::int32_t>(lineCount, 1)); }

bool SameCrd(const TBlkCrd& a, const TBlkCrd& b) { return a.X == b.X && a.Y == b.Y; }

bool Within(const TBlkCrd& a, const TBlkCrd& b, long double t) {
    return std::fabs(a.X.Value() - b.X.Value()) <= t && std::fabs(a.Y.Value() - b.Y.Value()) <= t;
}

}  // namespace

void TBlk::AreaBoundary(const TBlkArea& area, TLins& lines, TLins* walked, std::vector<bool>* reversed) {
    lines.clear();
    if (reversed) reversed->clear();
    try {
        const std::int32_t p = area.Number;
        const std::int64_t bound =
            WalkBound(FReadCache ? std::int32_t(FLinCache.size() / sizeof(TBlkLine) - 1) : LineCount());
        auto usable = [&](const TBlkLine& l) {
            if (LineDeleted(l) || !IsTopoLine(l)) throw EBlkPloError::LineOfArea(FPath, p, l.Number);
            // Every line fetched is one step of the block's walk budget.
            if (FWalkBudget == 0) throw EBlkPloError::LineOfArea(FPath, p, l.Number);
            if (FWalkBudget > 0) --FWalkBudget;
        };

        TBlkLine current;
        FindLine(area.FirstLine, current);
        usable(current);
        if (p != current.AreaA && p != current.AreaB) throw EBlkPloError::LineOfArea(FPath, p, current.Number);
        std::int32_t start = area.FirstLine;

        // Start on a line that separates two different areas: leave inner lines along their links.
        bool rev = current.NextBRev != 0;
        std::int64_t steps = 0;
        while (current.AreaA == current.AreaB) {
            std::int32_t next;
            if (rev) {
                next = current.PrevA;
                rev = current.PrevARev != 0;
            } else {
                next = current.NextB;
                rev = current.NextBRev != 0;
            }
            start = next;
            FindLine(next, current);
            usable(current);
            if (++steps > bound) throw EBlkPloError::LineOfArea(FPath, p, current.Number);
        }

        lines.push_back(current);
        if (reversed) reversed->push_back(false);  // the start line is walked from its first vertex
        const bool sideA = current.AreaB != p;
        std::int32_t next = sideA ? current.NextA : current.NextB;
        rev = (sideA ? current.NextARev : current.NextBRev) != 0;
        while (next != start) {
            const std::int32_t prev = current.Number;
            TBlkLine l;
            FindLine(next, l);
            usable(l);
            bool areaFails;
            std::int32_t backLink;
            std::int32_t following;
            bool followingRev;
            if (sideA && !rev) {
                areaFails = l.AreaA != p;
                backLink = l.PrevA;
                following = l.NextA;
                followingRev = l.NextARev != 0;
            } else if (sideA && rev) {
                areaFails = l.AreaB != p;
                backLink = l.NextB;
                following = l.PrevB;
                followingRev = l.PrevBRev != 0;
            } else if (!rev) {
                areaFails = l.AreaB != p;
                backLink = l.PrevB;
                following = l.NextB;
                followingRev = l.NextBRev != 0;
            } else {
                areaFails = l.AreaA != p;
                backLink = l.NextA;
                following = l.PrevA;
                followingRev = l.PrevARev != 0;
            }
            // A side without an area does not count against the walk.
            if (areaFails && l.AreaA != -1 && l.AreaB != -1) throw EBlkPloError::LineOfArea(FPath, p, l.Number);
            if (backLink != prev) throw EBlkPloError::LinesOfArea(FPath, p, prev, l.Number);
            lines.push_back(l);
            if (reversed) reversed->push_back(rev);
            if (static_cast<std::int64_t>(lines.size()) > bound) throw EBlkPloError::LineOfArea(FPath, p, l.Number);
            current = l;
            next = following;
            rev = followingRev;
        }
    } catch (...) {
        if (walked) *walked = lines;
        lines.clear();
        if (reversed) reversed->clear();
        throw;
    }
}

void TBlk::NormalizeBoundary(TLins& lines) {
    // Begin with a line between two different areas; a list of inner lines only stays as it is.
    if (lines.size() > 1) {
        for (std::size_t turns = 0; turns < lines.size() && lines.front().AreaA == lines.front().AreaB; ++turns)
            std::rotate(lines.begin(), lines.begin() + 1, lines.end());
    }
    // Cancel there-and-back runs (5, 9, 9, 5 collapses completely).
    std::size_t i = 1;
    while (i < lines.size()) {
        if (lines[i].Number == lines[i - 1].Number) {
            lines.erase(lines.begin() + std::ptrdiff_t(i - 1), lines.begin() + std::ptrdiff_t(i + 1));
            i = std::max<std::size_t>(i - 1, 1);
        } else {
            ++i;
        }
    }
}

int TBlk::CheckInnerLines(TLins& lines, std::int32_t& badLine) {
    badLine = 0;
    NormalizeBoundary(lines);

    std::vector<std::int32_t> inner, unpaired;
    for (const TBlkLine& l : lines) {
        if (l.AreaA != l.AreaB) continue;
        // A copy: the record is packed, and a reference to its field (push_back, find) would be misaligned.
        const std::int32_t number = l.Number;
        inner.push_back(number);
        auto it = std::find(unpaired.begin(), unpaired.end(), number);
        if (it == unpaired.end())
            unpaired.push_back(number);
        else
            unpaired.erase(it);
    }
    if (!unpaired.empty()) badLine = unpaired.front();
    if (inner.empty()) return 2;
    if (inner.size() % 2 != 0) return 0;

    // Pairs must nest: A B B A passes, A B A B does not.
    const std::size_t k = inner.size() / 2;
    std::vector<std::int32_t> stack(k, 0);
    std::size_t top = 0;
    for (std::int32_t number : inner) {
        if (stack[top] == number) {
            stack[top] = 0;
            if (top > 0) --top;
        } else {
            if (stack[top] != 0) {
                ++top;
                if (top == k) {
                    badLine = number;
                    return 0;
                }
            }
            stack[top] = number;
        }
    }
    if (stack[0] == 0) {
        badLine = 0;
        return 1;
    }
    badLine = stack[0];
    return 0;
}

void TBlk::BoundaryPolygon(const TLins& lines, TCrds& ring, double tolerance) {
    ring.clear();
    CheckOpened();
    TLins list = lines;
    NormalizeBoundary(list);
    if (list.empty()) return;

    long double t = std::fabs(static_cast<long double>(tolerance));
    if (!(t <= 0.01L)) t = 0.01L;

    TCrds r;
    ReadLineCrds(list[0], r);
    for (std::size_t i = 1; i < list.size(); ++i) {
        TCrds v;
        ReadLineCrds(list[i], v);
        const std::size_t m = v.size();
        if (i == 1) {
            // Orient the first line so that its end meets the second.
            if (Within(r[0], v[0], t))
                v[0] = r[0];
            else if (Within(v[m - 1], r[0], t))
                v[m - 1] = r[0];
            if (SameCrd(r[0], v[0]) || SameCrd(r[0], v[m - 1])) ReverseCrds(r);
        }
        const std::size_t n = r.size();
        if (Within(r[n - 1], v[0], t))
            v[0] = r[n - 1];
        else if (Within(r[n - 1], v[m - 1], t))
            v[m - 1] = r[n - 1];
        if (!SameCrd(r[n - 1], v[0])) ReverseCrds(v);
        if (!SameCrd(r[n - 1], v[0])) throw EBlkPloError::Lines(FPath, list[i - 1].Number, list[i].Number);
        r.insert(r.end(), v.begin() + 1, v.end());
    }
    if (Within(r.back(), r.front(), t)) r.back() = r.front();
    if (!SameCrd(r.back(), r.front())) throw EBlkPloError::Lines(FPath, list.front().Number, list.back().Number);
    ring = std::move(r);
}

bool TBlk::CheckAreaTopology(const TBlkArea& area, bool geometry, double tolerance) {
    CheckOpened();
    if (AreaDeleted(area)) return true;
    try {
        TLins lines;
        AreaBoundary(area, lines);
        std::int32_t bad = 0;
        if (CheckInnerLines(lines, bad) == 0) throw EBlkPloError::LineOfArea(FPath, area.Number, bad);
        if (geometry) {
            TCrds ring;
            BoundaryPolygon(lines, ring, tolerance);
        }
        return true;
    } catch (const EBlkPloError&) {
        return false;
    }
}

}  // namespace vexa
