// The point and text passes: admissibility of the kind in the block's layer and
// the rotation of kinds that the standard wants unrotated.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"

namespace vexa {

namespace {

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

}  // namespace

int TBlkStandardGXD::CheckPoints(TBlk& blk, std::uint16_t options) {
    return checkrun::RunPass<TBlkPoint>(
        *this, blk, options, checkrun::kHoldNothing, [&](checkrun::TCheckPass& pass, const TBlkPoint& p) {
            if ((options & option::BodPripustnost) && !IsKindAdmissible(pass.Layer(), egPoint, p.Kind)) {
                pass.Add(kind::PointAdmissibility, p.Kind, p.Number);
                return;
            }
            if ((options & option::BodUhol) && NeedsZeroAngle(egPoint, p.Kind) && PointRotated(p.Angle))
                pass.Add(kind::PointRotation, p.Kind, p.Number);
        });
}

int TBlkStandardGXD::CheckTexts(TBlk& blk, std::uint16_t options) {
    return checkrun::RunPass<TBlkText>(
        *this, blk, options, checkrun::kHoldNothing, [&](checkrun::TCheckPass& pass, const TBlkText& t) {
            if ((options & option::TxbPripustnost) && !IsKindAdmissible(pass.Layer(), egText, t.Kind)) {
                pass.Add(kind::TextAdmissibility, t.Kind, t.Number);
                return;
            }
            if ((options & option::TxbUhol) && NeedsZeroAngle(egText, t.Kind) && TextRotated(t.Angle))
                pass.Add(kind::TextRotation, t.Kind, t.Number);
        });
}

}  // namespace vexa
