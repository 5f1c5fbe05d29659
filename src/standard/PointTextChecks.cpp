// The point and text passes: admissibility of the kind in the block's layer and
// the rotation of kinds that the standard wants unrotated.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunSupport.h"

namespace vexa {

namespace {

constexpr std::uint16_t kAdmissibility = 1;
constexpr std::uint16_t kRotation = 2;

// Points: 400 to the full turn; the stored value itself is compared.
bool PointRotated(const TReal48& angle) {
    long double v = angle.Value();
    return 0.1L <= v && v <= 399.9L;
}

// Texts: radians, turned into degrees and held as a double.
bool TextRotated(const TReal48& angle) {
    double d = static_cast<double>(angle.Value() * 57.29577951308232L);
    long double x = d;
    return (0.1L <= x && x <= 359.9L) || (-359.9L <= x && x <= -0.1L);
}

} // namespace

int TBlkStandardGXD::CheckPoints(TBlk& blk, std::uint16_t options) {
    if (options == 0) return 0;
    std::int32_t count = blk.PointCount();
    if (count < 1) return 0;
    checkrun::TCheckPass pass(*this, count);
    blk.TouchPoints();
    pass.Open(blk);

    TBlkPoint point;
    blk.ReadNextPoint(point);  // the header record
    while (pass.More([&] { return blk.PointsEof(); })) {
        pass.ProcessMessages();
        blk.ReadNextPoint(point);
        pass.Advance();
        if (TBlk::PointDeleted(point)) continue;
        if ((options & kAdmissibility) && !IsKindAdmissible(pass.Layer(), egPoint, point.Kind)) {
            pass.Add(-31, "B", point.Kind, point.Number, "neprípustný druh vo vrstve");
            continue;
        }
        if ((options & kRotation) && NeedsZeroAngle(egPoint, point.Kind) && PointRotated(point.Angle))
            pass.Add(-32, "B", point.Kind, point.Number, "uhol otočenia");
    }
    return pass.Finish();
}

int TBlkStandardGXD::CheckTexts(TBlk& blk, std::uint16_t options) {
    if (options == 0) return 0;
    std::int32_t count = blk.TextCount();
    if (count < 1) return 0;
    checkrun::TCheckPass pass(*this, count);
    blk.TouchTexts();
    pass.Open(blk);

    TBlkText text;
    blk.ReadNextText(text);  // the header record
    while (pass.More([&] { return blk.TextsEof(); })) {
        pass.ProcessMessages();
        blk.ReadNextText(text);
        pass.Advance();
        if (TBlk::TextDeleted(text)) continue;
        if ((options & kAdmissibility) && !IsKindAdmissible(pass.Layer(), egText, text.Kind)) {
            pass.Add(-51, "T", text.Kind, text.Number, "neprípustný druh vo vrstve");
            continue;
        }
        if ((options & kRotation) && NeedsZeroAngle(egText, text.Kind) && TextRotated(text.Angle))
            pass.Add(-52, "T", text.Kind, text.Number, "uhol otočenia");
    }
    return pass.Finish();
}

} // namespace vexa
