#include "ui/GisShow.h"

#include <memory>

namespace vexa {

TGisShowOutcome ShowInGis(IDdeClient& dde, ISystemWindows& system, IAppWindows& app, const TShowRequest& request,
                          double scale, TColor colour, bool zoom) {
    auto link = std::make_unique<TTopolDDEObj>(dde, system, app);
    if (!link->IsTopolRunning()) {
        app.ShowMessage(kStartTopolText, TMessageIcon::Information);
        return TGisShowOutcome::NotRunning;
    }
    if (!link->Connect("", true)) return TGisShowOutcome::NotConnected;
    link->ShowElement(request.BlockPath, static_cast<TBlkElementGroup>(request.Kind), request.Number, scale, colour,
                      kPointMargin, zoom);
    return TGisShowOutcome::Shown;
}

}  // namespace vexa
