#pragma once
// A request of the error browser to show a finding's element in the running GIS:
// a new link for every request, freed right after it in every case.
#include "gislink/GisPlatform.h"
#include "gislink/TpDdeObj.h"
#include "standard/FindingPlace.h"  // kPointMargin
#include "ui/ErrorFilter.h"

namespace vexa {

inline constexpr const char* kStartTopolText = "Spusti Topol 6.x.";

enum class TGisShowOutcome {
    NotRunning,    // no GIS window: "Spusti Topol 6.x." was shown
    NotConnected,  // the link refused (it has shown its own message)
    Shown,
};

// Errors of the link (time-out, lost conversation, bad reply) pass on after the link is freed.
TGisShowOutcome ShowInGis(IDdeClient& dde, ISystemWindows& system, IAppWindows& app, const TShowRequest& request,
                          double scale, TColor colour, bool zoom);

}  // namespace vexa
