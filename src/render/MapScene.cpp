#include "render/MapScene.h"

#include "block/BlkExceptions.h"
#include "standard/FindingPlace.h"

#include <algorithm>
#include <cmath>

namespace vexa::render {

void TBox::Add(double x, double y) {
    if (Empty()) {
        MinX = MaxX = x;
        MinY = MaxY = y;
        return;
    }
    MinX = std::min(MinX, x);
    MinY = std::min(MinY, y);
    MaxX = std::max(MaxX, x);
    MaxY = std::max(MaxY, y);
}

void TBox::Add(const TBox& other) {
    if (other.Empty()) return;
    Add(other.MinX, other.MinY);
    Add(other.MaxX, other.MaxY);
}

TBox BoxOf(std::span<const TPlaceXY> crds) {
    TBox box;
    for (const TPlaceXY& c : crds) box.Add(c.X, c.Y);
    return box;
}

std::size_t RingEnd(std::span<const TPlaceXY> crds, std::size_t first) {
    for (std::size_t i = first + 1; i < crds.size(); ++i)
        if (crds[i] == crds[first]) return i + 1;
    return crds.size();
}

bool Unplaced(const TFindingPlace& place) {
    if (place.Shape != TPlaceShape::Text) return false;
    for (const TPlaceXY& c : place.Crds)
        if (c.X != 0 || c.Y != 0) return false;
    return true;
}

std::vector<TPlaceXY> TextOutline(const TFindingPlace& stored, double angle) {
    const TBox box = BoxOf(stored.Crds);
    if (box.Empty() || !std::isfinite(angle)) return stored.Crds;
    const double c = std::cos(angle), s = std::sin(angle);
    const double ac = std::abs(c), as = std::abs(s);
    const double det = ac * ac - as * as;
    if (as < 1e-9) return stored.Crds;   // not turned
    if (std::abs(det) < 0.05) return stored.Crds;  // near 45 degrees the box does not tell the sides
    const double w = (box.Width() * ac - box.Height() * as) / det;
    const double h = (box.Height() * ac - box.Width() * as) / det;
    if (!(w > 0) || !(h > 0)) return stored.Crds;
    const TPlaceXY m = box.Centre();
    const double ux = c * w / 2, uy = s * w / 2;    // along the text
    const double vx = -s * h / 2, vy = c * h / 2;   // across it
    const TPlaceXY a{m.X - ux - vx, m.Y - uy - vy};
    return {a, {m.X + ux - vx, m.Y + uy - vy}, {m.X + ux + vx, m.Y + uy + vy}, {m.X - ux + vx, m.Y - uy + vy}, a};
}

namespace {
std::uint64_t Key(TBlkElementGroup group, std::int32_t number) {
    return (std::uint64_t(group) << 32) | std::uint32_t(number);
}
}  // namespace

TMapScene::TMapScene(const std::string& blockDir) : FBlockDir(blockDir), FBlk(std::make_unique<TBlk>()) {
    FBlk->Open(blockDir, TBlkOpenMode::ReadOnly);
    try {
        FBlk->SetReadCache(true);
    } catch (const EBlkReadError&) {
        // Read from the files; a damaged record is left out where it is read.
    }
    TBlk& blk = *FBlk;
    // Each group is read on its own: a damaged record ends its group's walk, the rest stays.
    auto guarded = [&](auto walk) {
        try {
            walk();
        } catch (const EBlkException&) {
            ++FUnreadable;
        }
    };
    guarded([&] {
        ForEachLive<TBlkLine>(blk, [&](const TBlkLine& l) {
            try {
                const TFindingPlace place = LinePlace(blk, l);
                Add(TBlk::IsAreaLine(l) ? TSceneKind::AreaLine : TSceneKind::Line, egLine, l.Number, place.Crds);
            } catch (const EBlkException&) {
                ++FUnreadable;
            }
        });
    });
    guarded([&] {
        // The rings are walked once here, so that the areas can be filled; the walks
        // together take no more than a valid block needs.
        std::int64_t steps = PlaceWalkBudget(blk);
        std::vector<TPlaceXY> crds;
        ForEachLive<TBlkArea>(blk, [&](const TBlkArea& a) {
            TFindingPlace place = AreaPlace(blk, a, true, &steps);
            crds.assign(1, place.Anchor);
            if (place.Shape == TPlaceShape::Area)
                for (const TPlacePolygon& polygon : place.Polygons)
                    for (const TPlaceRing& ring : polygon) crds.insert(crds.end(), ring.begin(), ring.end());
            Add(TSceneKind::AreaPoint, egArea, a.Number, crds);
        });
    });
    guarded([&] {
        ForEachLive<TBlkText>(blk, [&](const TBlkText& t) {
            const TFindingPlace place = TextPlace(t);
            if (!Unplaced(place)) Add(TSceneKind::Text, egText, t.Number, TextOutline(place, double(t.Angle.Value())));
        });
    });
    guarded([&] {
        ForEachLive<TBlkPoint>(blk, [&](const TBlkPoint& p) {
            Add(TSceneKind::Point, egPoint, p.Number, PointPlace(p).Crds);
        });
    });
    BuildGrid();
}

TMapScene::~TMapScene() = default;

void TMapScene::Add(TSceneKind kind, TBlkElementGroup group, std::int32_t number, std::span<const TPlaceXY> crds) {
    if (crds.empty()) return;
    TSceneItem item{kind, group, number, std::uint32_t(FCrds.size()), std::uint32_t(crds.size()), BoxOf(crds)};
    if (item.Box.Empty() || !std::isfinite(item.Box.MinX) || !std::isfinite(item.Box.MaxX) ||
        !std::isfinite(item.Box.MinY) || !std::isfinite(item.Box.MaxY))
        return;
    FCrds.insert(FCrds.end(), crds.begin(), crds.end());
    FBounds.Add(item.Box);
    FByElement.emplace(Key(group, number), std::uint32_t(FItems.size()));
    FItems.push_back(item);
}

const TSceneItem* TMapScene::Find(TBlkElementGroup group, std::int32_t number) const {
    const auto it = FByElement.find(Key(group, number));
    return it == FByElement.end() ? nullptr : &FItems[it->second];
}

TFindingPlace TMapScene::Place(TBlkElementGroup group, std::int32_t number) {
    TFindingPlace place = ElementPlace(*FBlk, group, number);
    return Unplaced(place) ? TFindingPlace{} : place;
}

std::optional<TBox> TMapScene::StoredRect(TBlkElementGroup group, std::int32_t number) {
    auto box = [](const TBlkRect& r) {
        return TBox{double(r.MinX.Value()), double(r.MinY.Value()), double(r.MaxX.Value()), double(r.MaxY.Value())};
    };
    try {
        switch (group) {
        case egLine: {
            TBlkLine line;
            FBlk->FindLine(number, line);
            return box(line.Rect);
        }
        case egText: {
            TBlkText text;
            FBlk->FindText(number, text);
            return box(text.Rect);
        }
        case egArea: {
            TBlkArea area;
            FBlk->FindArea(number, area);
            return box(area.Rect);
        }
        case egPoint:
            break;
        }
    } catch (const EBlkException&) {
    }
    return std::nullopt;
}

void TMapScene::BuildGrid() {
    FSeen.assign(FItems.size(), 0);
    if (FItems.empty()) return;
    // About four items a cell, at most 1024 cells a side.
    const double cells = std::max(1.0, double(FItems.size()) / 4);
    const double w = std::max(FBounds.Width(), 1e-6), h = std::max(FBounds.Height(), 1e-6);
    const double side = std::sqrt(w * h / cells);
    FCols = int(std::clamp(std::ceil(w / side), 1.0, 1024.0));
    FRows = int(std::clamp(std::ceil(h / side), 1.0, 1024.0));
    FCellW = w / FCols;
    FCellH = h / FRows;
    auto range = [&](const TBox& b, int& c0, int& r0, int& c1, int& r1) { CellRange(b, c0, r0, c1, r1); };
    constexpr long kLargeCells = 64;
    std::vector<std::uint32_t> counts(std::size_t(FCols) * FRows + 1, 0);
    for (const TSceneItem& item : FItems) {
        int c0, r0, c1, r1;
        range(item.Box, c0, r0, c1, r1);
        if (long(c1 - c0 + 1) * (r1 - r0 + 1) > kLargeCells) continue;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) ++counts[std::size_t(r) * FCols + c];
    }
    FCellStart.assign(counts.size(), 0);
    for (std::size_t i = 1; i < counts.size(); ++i) FCellStart[i] = FCellStart[i - 1] + counts[i - 1];
    FCellItems.resize(FCellStart.back());
    std::vector<std::uint32_t> fill(FCellStart.begin(), FCellStart.end() - 1);
    for (std::uint32_t i = 0; i < FItems.size(); ++i) {
        int c0, r0, c1, r1;
        range(FItems[i].Box, c0, r0, c1, r1);
        if (long(c1 - c0 + 1) * (r1 - r0 + 1) > kLargeCells) {
            FLarge.push_back(i);
            continue;
        }
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) FCellItems[fill[std::size_t(r) * FCols + c]++] = i;
    }
}

void TMapScene::CellRange(const TBox& b, int& c0, int& r0, int& c1, int& r1) const {
    // Clamped as reals first: a box far outside the block must not overflow an int.
    auto cell = [](double at, int count) { return int(std::clamp(std::floor(at), 0.0, double(count - 1))); };
    c0 = cell((b.MinX - FBounds.MinX) / FCellW, FCols);
    c1 = cell((b.MaxX - FBounds.MinX) / FCellW, FCols);
    r0 = cell((b.MinY - FBounds.MinY) / FCellH, FRows);
    r1 = cell((b.MaxY - FBounds.MinY) / FCellH, FRows);
}

void TMapScene::Query(const TBox& box, std::vector<std::uint32_t>& out) const {
    out.clear();
    if (FItems.empty() || box.Empty() || !box.Meets(FBounds)) return;
    if (box.MinX <= FBounds.MinX && box.MinY <= FBounds.MinY && box.MaxX >= FBounds.MaxX &&
        box.MaxY >= FBounds.MaxY) {  // the whole block
        out.resize(FItems.size());
        for (std::uint32_t i = 0; i < out.size(); ++i) out[i] = i;
        return;
    }
    if (++FStamp == 0) {  // the stamps wrapped: start them afresh
        std::fill(FSeen.begin(), FSeen.end(), 0);
        FStamp = 1;
    }
    auto take = [&](std::uint32_t i) {
        if (FSeen[i] == FStamp) return;
        FSeen[i] = FStamp;
        if (FItems[i].Box.Meets(box)) out.push_back(i);
    };
    for (std::uint32_t i : FLarge) take(i);
    int c0, r0, c1, r1;
    CellRange(box, c0, r0, c1, r1);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const std::size_t cell = std::size_t(r) * FCols + c;
            for (std::uint32_t k = FCellStart[cell]; k < FCellStart[cell + 1]; ++k) take(FCellItems[k]);
        }
    std::sort(out.begin(), out.end());
}

}  // namespace vexa::render
