#include "review/Fingerprint.h"

#include "block/BlkExceptions.h"
#include "common/Text.h"
#include "common/Utf8.h"

#include <filesystem>

#include <cstring>
#include <variant>

namespace vexa::review {

namespace {

// FNV-1a, 64 bits: stable across builds and platforms, enough to tell a changed element.
class Hash {
public:
    void Bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value_ ^= p[i];
            value_ *= 1099511628211ull;
        }
    }
    template <typename T>
    void Of(const T& v) {
        Bytes(&v, sizeof v);
    }
    // A field of a packed block record, copied first: a reference to it may be misaligned.
    template <typename T>
    void Field(T v) {
        Bytes(&v, sizeof v);
    }
    void Text(const std::string& s) {
        Of(s.size());
        Bytes(s.data(), s.size());
    }
    std::string Hex() const { return Format("%016llx", static_cast<unsigned long long>(value_)); }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

void Attributes(Hash& h, TBlk& blk, TBlkElementGroup group, std::int16_t kind, std::int32_t number) {
    TFldValList values;
    try {
        blk.ReadAttributes(group, kind, number, values);
    } catch (const Exception&) {
        h.Text("no attributes");  // a missing or unreadable table is part of the element's state
        return;
    }
    for (const TFldVal& v : values) {
        h.Text(v.Name);
        std::visit(
            [&](const auto& x) {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<T, std::monostate>) h.Text("null");
                else if constexpr (std::is_same_v<T, std::string>) h.Text(x);
                else if constexpr (std::is_same_v<T, TDate>) h.Of(x.Year), h.Of(x.Month), h.Of(x.Day);
                else h.Of(x);
            },
            v.Value);
    }
}

void Rect(Hash& h, const TBlkRect& r) {
    h.Of(r.MinX.Bytes), h.Of(r.MinY.Bytes), h.Of(r.MaxX.Bytes), h.Of(r.MaxY.Bytes);
}

}  // namespace

std::optional<std::string> ElementFingerprint(TBlk& blk, const std::string& group, std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    if (group.size() != 1) return std::nullopt;
    const std::optional<TBlkElementGroup> g = GroupOfLetter(group[0]);
    if (!g) return std::nullopt;
    Hash h;
    h.Of(*g);
    try {
        switch (*g) {
        case egLine: {
            TBlkLine rec{};
            blk.FindLine(*number, rec);
            if (TBlk::LineDeleted(rec) || rec.Number != *number) return std::nullopt;
            h.Field(rec.Kind), h.Field(rec.Flags), h.Field(rec.DisplayCode);
            TCrds crds;
            blk.ReadLineCrds(rec, crds);
            h.Of(crds.size());
            for (const TBlkCrd& c : crds) h.Of(c.X.Bytes), h.Of(c.Y.Bytes);
            Attributes(h, blk, *g, rec.Kind, *number);
            break;
        }
        case egPoint: {
            TBlkPoint rec{};
            blk.FindPoint(*number, rec);
            if (TBlk::PointDeleted(rec) || rec.Number != *number) return std::nullopt;
            h.Field(rec.Kind), h.Field(rec.Flags), h.Field(rec.DisplayCode);
            h.Of(rec.X.Bytes), h.Of(rec.Y.Bytes), h.Of(rec.Angle.Bytes);
            Attributes(h, blk, *g, rec.Kind, *number);
            break;
        }
        case egText: {
            TBlkText rec{};
            blk.FindText(*number, rec);
            if (TBlk::TextDeleted(rec) || rec.Number != *number) return std::nullopt;
            h.Field(rec.Kind), h.Field(rec.Flags), h.Of(rec.Angle.Bytes);
            Rect(h, rec.Rect);
            break;
        }
        case egArea: {
            TBlkArea rec{};
            blk.FindArea(*number, rec);
            if (TBlk::AreaDeleted(rec) || rec.Number != *number) return std::nullopt;
            h.Field(rec.Kind), h.Field(rec.Flags), h.Of(rec.RefX.Bytes), h.Of(rec.RefY.Bytes), h.Of(rec.AreaSize.Bytes);
            Rect(h, rec.Rect);
            Attributes(h, blk, *g, rec.Kind, *number);
            break;
        }
        }
    } catch (const EBlkException&) {
        return std::nullopt;  // no such element, or one that cannot be read
    }
    return h.Hex();
}

std::string BlockOnDisk(const std::string& blockPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(blockPath);
    if (fs::exists(path, ec) || path.filename().string().find("\\x") == std::string::npos) return blockPath;
    const std::string printed = path.filename().string();
    for (const fs::directory_entry& e : fs::directory_iterator(path.parent_path(), ec)) {
        const std::string name = e.path().filename().string();
        if (name != printed && EscapeInvalidUtf8(name) == printed) return e.path().string();
    }
    return blockPath;
}

std::optional<std::string> ElementFingerprint(const std::string& blockPath, const std::string& group,
                                              std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    TBlk blk(false);
    try {
        blk.Open(BlockOnDisk(blockPath), TBlkOpenMode::ReadOnly);
    } catch (const EBlkException&) {
        return std::nullopt;
    }
    std::optional<std::string> fp = ElementFingerprint(blk, group, number);
    blk.Close(false);
    return fp;
}

TFingerprints::TFingerprints() = default;

TFingerprints::~TFingerprints() {
    if (FBlk) FBlk->Close(false);
}

std::optional<std::string> TFingerprints::Of(const std::string& blockPath, const std::string& group,
                                             std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    if (blockPath != FPath || FPath.empty()) {
        if (FBlk) FBlk->Close(false);
        FBlk.reset();
        FPath = blockPath;
        auto blk = std::make_unique<TBlk>(false);
        try {
            blk->Open(BlockOnDisk(blockPath), TBlkOpenMode::ReadOnly);
            FBlk = std::move(blk);
        } catch (const EBlkException&) {
        }
    }
    if (!FBlk) return std::nullopt;
    return ElementFingerprint(*FBlk, group, number);
}

}  // namespace vexa::review
