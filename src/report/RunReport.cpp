#include "report/RunReport.h"

#include "block/BlkExceptions.h"
#include "block/BlkObj.h"
#include "block/BlkRecords.h"
#include "common/Text.h"
#include "common/Utf8.h"
#include "common/Version.h"
#include "render/MapView.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunReview.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/FindingPlace.h"
#include "run/OptionMasks.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace vexa::report {

TReportFinding ReportFinding(const TFinding& finding) {
    TReportFinding f;
    f.Record = TErrorTable::Fit(finding.Record);  // as the error table holds it
    if (!finding.Place.Empty()) {
        f.X = finding.Place.Anchor.X;
        f.Y = finding.Place.Anchor.Y;
    }
    f.Value = finding.Value;  // a limit finding's measured length or area
    f.Limit = finding.Limit;
    // A table finding's table (where its text does not name it) and what it found wrong.
    if (!finding.Place.Table.empty() && review::TableOfText(finding.Record.Chyba).empty())
        f.Detail = finding.Place.Table + (finding.Detail.empty() ? "" : ": " + finding.Detail);
    return f;
}

void TReportSink::Add(const TFinding& finding) { FFindings.push_back(ReportFinding(finding)); }

void TReportSink::GroupExtent(const TGroupExtent& extent) {
    TGroups& groups = FExtents[extent.Block];
    switch (extent.Group) {
    case egLine: groups.Lines = extent.Extent; break;
    case egPoint: groups.Points = extent.Extent; break;
    case egText: groups.Texts = extent.Extent; break;
    default: break;
    }
}

std::map<std::string, TStoredExtent> TReportSink::Extents() const {
    std::map<std::string, TStoredExtent> out;
    for (const auto& [block, groups] : FExtents) {
        if (!groups.Lines || !groups.Points || !groups.Texts) continue;
        TStoredExtent e = *groups.Lines;
        e.Add(*groups.Texts);
        e.Add(*groups.Points);
        out.emplace(block, e);
    }
    return out;
}

namespace {

std::string Trimmed(const char* caption) {
    std::string s = caption;
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string Decimal(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    std::string s = buffer;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

// "Línie: prípustnosť vo vrstve, dlžka <= 0,5 m": the ticked boxes of a group, the
// box with a limit followed by it.
template <std::size_t N>
void Group(std::vector<std::string>& out, const char* caption, const std::array<TOptionBox, N>& boxes,
           std::uint16_t mask, std::uint16_t limitBit = 0, const std::string& limit = "") {
    std::string ticked;
    for (const TOptionBox& box : boxes) {
        if (!(mask & box.Bit)) continue;
        ticked += (ticked.empty() ? "" : ", ") + std::string(box.Caption) + (box.Bit == limitBit ? " " + limit : "");
    }
    out.push_back(Trimmed(caption) + ": " + (ticked.empty() ? std::string("nič") : ticked));
}

std::string LocalTime(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%d. %m. %Y %H:%M:%S", &local);
    return buffer;
}

std::string DateText(const TDate& d) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d. %d. %d", d.Day, d.Month, d.Year);
    return buffer;
}

std::string FileDate(const std::string& path) {
    std::error_code ec;
    const auto written = fs::last_write_time(path, ec);
    if (ec) return "";
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(std::chrono::file_clock::to_sys(written));
    return LocalTime(system).substr(0, 13);  // the day only
}

// A finding a run file keeps, as a record of the error table (its layer is not kept).
TErrorRecord RecordOf(const review::TRunFinding& found) {
    TErrorRecord r;
    r.Id = found.Code;
    r.Blok = found.Block;
    r.Prvok = found.Group;
    r.Druh = found.Kind;
    r.Cislo = found.Number;
    r.Chyba = found.Text;
    return r;
}

// A finding of the previous run that is gone.
TReportFinding Fixed(const review::TRunFinding& gone) {
    TReportFinding f;
    f.Record = RecordOf(gone);
    return f;
}

// The exceptions kept for the map, each with whether its element is still as it was.
// The run's review, when given, has the fingerprints its passes took of the exceptions' elements.
std::vector<TReportException> MapExceptions(const std::string& mapDir, const review::TRunReview* run = nullptr) {
    std::vector<TReportException> out;
    try {
        for (const review::TReviewException& e : review::LoadExceptions(mapDir)) {
            std::optional<std::optional<std::string>> seen;
            if (run) seen = run->FingerprintSeen(e.Block, e.Group, e.Number);
            const auto now = seen ? *seen : review::ElementFingerprint(mapDir + e.Block, e.Group, e.Number);
            TReportException x;
            x.Block = e.Block;
            x.Group = e.Group.empty() ? '?' : e.Group[0];
            x.Number = e.Number.value_or(0);
            x.Code = e.Code;
            // Each exception of a table finding apart: its table where the text does not name it.
            x.Text = e.Text + (!e.Table.empty() && review::TableOfText(e.Text).empty() ? " (" + e.Table + ")" : "");
            x.Reason = e.Reason;
            x.User = e.User;
            x.Date = DateText(e.Date);
            x.Valid = now && *now == e.Fingerprint;
            if (!x.Valid) x.Why = now ? "prvok sa zmenil" : "prvok už neexistuje";
            out.push_back(std::move(x));
        }
    } catch (const std::exception&) {
        // A damaged table is named where it is read for the run; the report lists none.
    }
    return out;
}

}  // namespace

// The kept run of the id ("" the newest), read whole or only its metadata.
std::optional<review::TRunRecord> KeptRun(const std::string& mapDir, const std::string& runId) {
    std::vector<std::string> problems;
    const std::vector<review::TRunRecord> runs = review::ListRuns(mapDir, false, problems);
    for (auto it = runs.rbegin(); it != runs.rend(); ++it)
        if (runId.empty() || it->Id == runId) return *it;
    return std::nullopt;
}

std::vector<std::string> OptionsInWords(const TCheckRunOptions& o) {
    std::vector<std::string> out;
    Group(out, OptionGroups[0].Caption, LinOptionBoxes, o.LinMask, option::LinDlzka, Decimal(o.LengthLimit) + " m");
    Group(out, OptionGroups[1].Caption, BodOptionBoxes, o.BodMask);
    Group(out, OptionGroups[2].Caption, TxbOptionBoxes, o.TxbMask);
    Group(out, OptionGroups[3].Caption, PloOptionBoxes, o.PloMask, option::PloPlocha, Decimal(o.AreaLimit) + " m²");
    Group(out, OptionGroups[4].Caption, DBOptionBoxes, o.DbMask);
    out.push_back("Bloky kontrolované naraz: " + std::to_string(o.Jobs));
    return out;
}

TReport ReportOfRun(const TRunFacts& facts, const TCheckRunResult& result, const TBlkStandardGXD& standard,
                    std::vector<TReportFinding> findings) {
    TReport r;
    r.MapDir = facts.MapDir;
    r.Started = LocalTime(facts.Started);
    r.Seconds = facts.Seconds;
    r.Version = VEXA_VERSION;
    r.StandardFile = standard.StandardPath();
    r.StandardDescription = standard.Description();
    r.StandardDate = FileDate(standard.StandardPath());
    r.Options = OptionsInWords(facts.Options);
    r.User = review::LoginName();
    r.Stopped = result.Stopped;
    // Each selected block as the driver tells it: checked, skipped with why, or (after a
    // stop) never begun; then the blocks left out of the list.
    const std::set<std::string> checked(result.Checked.begin(), result.Checked.end());
    const std::map<std::string, std::string> skipped(result.Skipped.begin(), result.Skipped.end());
    std::set<std::string> named;
    for (const TBlockRow& row : facts.Selected) {
        if (!row.Selected()) continue;
        if (const auto it = skipped.find(row.Vrstva); it != skipped.end())
            r.Blocks.push_back({row.Vrstva, false, it->second});
        else if (checked.count(row.Vrstva))
            r.Blocks.push_back({row.Vrstva, true, ""});
        else
            r.Blocks.push_back({row.Vrstva, false, "kontrola bola zastavená"});
        named.insert(row.Vrstva);
    }
    for (const auto& [name, why] : result.Skipped)
        if (named.insert(name).second) r.Blocks.push_back({name, false, why});
    r.Repairs = result.Repairs;
    r.Findings = std::move(findings);
    if (facts.Review) {
        const review::TReviewCounts& counts = facts.Review->Counts();
        TReportHistory history{counts.New, counts.Persisting, counts.Fixed, counts.Excepted, {}};
        for (const review::TRunFinding& gone : facts.Review->Run().Gone) history.FixedFindings.push_back(Fixed(gone));
        r.History = std::move(history);
        r.Exceptions = MapExceptions(facts.MapDir, facts.Review);
    }
    for (TReportBlock& b : r.Blocks)
        if (const auto e = facts.Extents.find(b.Name); b.Checked && e != facts.Extents.end()) b.Extent = e->second;
    return r;
}

std::vector<std::string> KeptOptionsInWords(const std::string& options) {
    TCheckRunOptions o;
    std::map<std::string, std::string> values;
    std::size_t at = 0;
    while (at < options.size()) {
        std::size_t end = options.find(' ', at);
        if (end == std::string::npos) end = options.size();
        const std::string item = options.substr(at, end - at);
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) return {options};
        values[item.substr(0, eq)] = item.substr(eq + 1);
        at = end + 1;
    }
    auto mask = [&](const char* key, std::uint16_t& out) {
        const auto it = values.find(key);
        const std::optional<long long> v = it == values.end() ? std::nullopt : TextToInt(it->second);
        if (!v || *v < 0 || *v > 0xFFFF) return false;
        out = std::uint16_t(*v);
        return true;
    };
    auto limit = [&](const char* key, double& out) {
        const auto it = values.find(key);
        const std::optional<double> v = it == values.end() ? std::nullopt : TextToFloat(it->second);
        if (!v) return false;
        out = *v;
        return true;
    };
    if (!mask("db", o.DbMask) || !mask("lines", o.LinMask) || !mask("points", o.BodMask) || !mask("texts", o.TxbMask) ||
        !mask("areas", o.PloMask) || !limit("length", o.LengthLimit) || !limit("area", o.AreaLimit))
        return {options};
    std::vector<std::string> words = OptionsInWords(o);
    words.pop_back();  // the count of blocks at once, not kept
    return words;
}

std::string KeptDateText(const std::string& date) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &sec, &tail) != 6) return date;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d. %02d. %04d %02d:%02d:%02d", d, mo, y, h, mi, sec);
    return buffer;
}

TReport ReportOfTable(const std::string& mapDir, const std::vector<TFinding>& findings, const std::string& runId) {
    TReport r;
    r.MapDir = mapDir;
    r.Version = VEXA_VERSION;
    for (const TFinding& f : findings) r.Findings.push_back(ReportFinding(f));
    if (const std::optional<review::TRunRecord> kept = KeptRun(mapDir, runId)) {
        const review::TRunRecord& last = *kept;
        r.Started = KeptDateText(last.Date);
        r.Seconds = last.Duration;
        r.Version = last.Version;
        r.User = last.User;
        r.StandardFile = last.Standard;
        r.StandardDescription = last.Description;
        r.StandardDate = FileDate(last.Standard);
        r.Options = KeptOptionsInWords(last.Options);
        r.Stopped = !last.Complete && last.Skipped.empty();
        for (const std::string& name : last.Checked) r.Blocks.push_back({name, true, ""});
        for (const std::string& said : last.Skipped) {
            const std::size_t colon = said.find(": ");
            r.Blocks.push_back({said.substr(0, colon), false, colon == std::string::npos ? "" : said.substr(colon + 2)});
        }
        TReportHistory history{last.New, last.Persisting, last.Fixed, last.Excepted, {}};
        try {
            for (const review::TRunFinding& gone : review::LoadRun(mapDir, last).Gone)
                history.FixedFindings.push_back(Fixed(gone));
        } catch (const std::exception&) {
            // Only the run's counts could be read.
        }
        r.History = std::move(history);
    } else {
        // No history: the blocks are those the table names.
        std::set<std::string> names;
        for (const TReportFinding& f : r.Findings)
            if (names.insert(f.Record.Blok).second) r.Blocks.push_back({f.Record.Blok, true, ""});
    }
    r.Exceptions = MapExceptions(mapDir);
    return r;
}

std::optional<std::vector<TErrorRecord>> RunRecords(const std::string& mapDir, const std::string& runId) {
    const std::optional<review::TRunRecord> kept = KeptRun(mapDir, runId);
    if (!kept) return std::nullopt;
    std::vector<TErrorRecord> records;
    for (const review::TRunFinding& f : review::LoadRun(mapDir, *kept).Found) records.push_back(RecordOf(f));
    return records;
}

void WriteReport(TReport page, const std::string& mapDir, const std::string& path, int maxImages) {
    page.OverviewPng = MapOverviewPng(mapDir, page);
    WriteHtmlReport(page, path, MapThumbnails(mapDir), maxImages);
}

TThumbnail MapThumbnails(const std::string& mapDir, int width, int height) {
    auto view = std::make_shared<render::TMapView>();
    auto failed = std::make_shared<std::set<std::string>>();
    view->Resize(width, height);
    return [view, failed, mapDir](const TReportFinding& f) -> std::string {
        const auto group = f.Record.Prvok.size() == 1 ? GroupOfLetter(f.Record.Prvok[0]) : std::nullopt;
        if (!group || !f.Record.Cislo || failed->count(f.Record.Blok)) return "";
        try {
            view->OpenBlock((fs::path(mapDir) / f.Record.Blok).string());
        } catch (const std::exception&) {
            failed->insert(f.Record.Blok);  // an unreadable block gives no pictures
            return "";
        }
        if (!view->ShowElement({*group, *f.Record.Cislo}, 1.0, true)) return "";
        return render::PngBytes(view->Render());
    };
}

namespace {

// A block's extent from what its element records store (the lines' and texts' rectangles,
// the points): no vertex is read, so a map of hundreds of blocks is measured in a moment.
// Rectangles stored upside down or all zero are passed over.
render::TBox StoredExtent(const std::string& blockDir) {
    TBlk blk;
    blk.Open(blockDir, TBlkOpenMode::ReadOnly);
    render::TBox box;
    auto rect = [&](const TBlkRect& r) {
        const double x0 = r.MinX.ToDouble(), y0 = r.MinY.ToDouble(), x1 = r.MaxX.ToDouble(), y1 = r.MaxY.ToDouble();
        if (x0 > x1 || y0 > y1 || (x0 == 0 && y0 == 0 && x1 == 0 && y1 == 0)) return;
        box.Add(x0, y0);
        box.Add(x1, y1);
    };
    try {
        ForEachLive<TBlkLine>(blk, [&](const TBlkLine& l) { rect(l.Rect); });
        ForEachLive<TBlkText>(blk, [&](const TBlkText& t) { rect(t.Rect); });
        ForEachLive<TBlkPoint>(blk, [&](const TBlkPoint& p) { box.Add(p.X.ToDouble(), p.Y.ToDouble()); });
    } catch (const EBlkException&) {
        // A damaged record ends the walk; the extent is what was read before it.
    }
    return box;
}

}  // namespace

std::string MapOverviewPng(const std::string& mapDir, const TReport& report, int width, int height) {
    std::vector<std::pair<std::string, render::TBox>> extents;
    for (const TReportBlock& b : report.Blocks) {
        if (!b.Checked) continue;
        render::TBox box;
        if (b.Extent) {
            // As the run's passes read it.
            if (!b.Extent->Empty()) box.Add(b.Extent->MinX, b.Extent->MinY), box.Add(b.Extent->MaxX, b.Extent->MaxY);
        } else {
            try {
                box = StoredExtent((fs::path(mapDir) / b.Name).string());
            } catch (const std::exception&) {
                continue;
            }
        }
        if (!box.Empty()) extents.emplace_back(EscapeBytes(b.Name, true), box);  // drawn as text: UTF-8 only
    }
    std::vector<TPlaceXY> dots;
    for (const TReportFinding& f : report.Findings)
        if (f.X && f.Y) dots.push_back({*f.X, *f.Y});
    if (extents.empty() && dots.empty()) return "";
    return render::PngBytes(render::MapOverview(extents, dots, width, height));
}

}  // namespace vexa::report
