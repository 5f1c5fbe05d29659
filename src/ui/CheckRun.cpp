#include "ui/CheckRun.h"

#include "block/BlkObj.h"
#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Leftovers.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "standard/ErrorTable.h"

#include <optional>

namespace vexa {

namespace {

// Shows a group's gauge for the lifetime of the guard.
class GaugeShown {
public:
    GaugeShown(ICheckRunView& view, TCheckGroup group) : view_(view), group_(group) { view_.ShowGauge(group_, true); }
    ~GaugeShown() { view_.ShowGauge(group_, false); }
    GaugeShown(const GaugeShown&) = delete;
    GaugeShown& operator=(const GaugeShown&) = delete;

private:
    ICheckRunView& view_;
    TCheckGroup group_;
};

// Empties the caption and lets go of what the passes kept for the run when the
// run ends, also by an error.
class RunEnded {
public:
    RunEnded(ICheckRunView& view, TBlkStandardGXD& standard) : view_(view), standard_(standard) {}
    ~RunEnded() {
        standard_.RunCache().Clear();
        view_.SetCaption("");
    }
    RunEnded(const RunEnded&) = delete;
    RunEnded& operator=(const RunEnded&) = delete;

private:
    ICheckRunView& view_;
    TBlkStandardGXD& standard_;
};

// Closes the block when its examination ends, also by an error.
class BlockClosed {
public:
    explicit BlockClosed(TBlk& blk) : blk_(blk) {}
    ~BlockClosed() { blk_.Close(true); }
    BlockClosed(const BlockClosed&) = delete;
    BlockClosed& operator=(const BlockClosed&) = delete;

private:
    TBlk& blk_;
};

int RunPass(TBlkStandardGXD& standard, ICheckRunView& view, TCheckGroup group, TBlk& blk) {
    TCheckRunOptions options = view.Options();
    GaugeShown shown(view, group);
    standard.SetGauge(view.Gauge(group));
    switch (group) {
    case TCheckGroup::Lines: return standard.CheckLines(blk, options.LinMask, options.LengthLimit);
    case TCheckGroup::Points: return standard.CheckPoints(blk, options.BodMask);
    case TCheckGroup::Texts: return standard.CheckTexts(blk, options.TxbMask);
    case TCheckGroup::Areas: return standard.CheckAreas(blk, options.PloMask, options.AreaLimit);
    case TCheckGroup::Databases: break;
    }
    return 0;
}

}  // namespace

std::string NotCleanedMessage(const std::string& blockPath) {
    return "Blok\r" + blockPath + "\rnebol vyčistený, nebude kontrolovaný";
}

TCheckRunResult RunCheck(TBlkStandardGXD& standard, ICheckRunView& view) {
    TCheckRunResult result;
    // One run on a map at a time; what runs that are gone left behind goes first.
    TMapLock lock(view.MapDir());
    RemoveTempLeftovers();
    RemoveLeftovers(fs::path(view.MapDir().empty() ? std::string(".") : view.MapDir()));
    {
        RunEnded ended(view, standard);
        // One open error table for the whole run: no pass reopens and rereads it.
        TErrorTableHold held(standard.ErrorTable());
        TBlk blk(false);
        for (int row = 0; row < view.BlockRowCount(); ++row) {
            TBlockRow cells = view.BlockRow(row);
            if (!cells.Selected()) continue;
            std::string blockPath = view.MapDir() + cells.Vrstva;
            BlockClosed closed(blk);
            RemoveLeftovers(fs::path(blockPath));
            blk.Open(blockPath);
            for (const std::string& w : blk.OpenWarnings()) view.Warning(w);
            if (!blk.IsClean()) {
                ++result.BlocksSkipped;
                view.Warning(NotCleanedMessage(blockPath));
                continue;
            }
            std::uint16_t dbMask = view.Options().DbMask;
            if (dbMask != 0) {
                view.SetCaption(kCaptionDatabases);
                result.Total += standard.CheckDatabases(blk, dbMask);
            }
            view.SetCaption(cells.Vrstva);
            result.Total += RunPass(standard, view, TCheckGroup::Lines, blk);
            result.Total += RunPass(standard, view, TCheckGroup::Points, blk);
            result.Total += RunPass(standard, view, TCheckGroup::Texts, blk);
            result.Total += RunPass(standard, view, TCheckGroup::Areas, blk);
            ++result.BlocksChecked;
        }
    }

    if (result.Total > 0) {
        std::string mapDir = view.MapDir();
        fs::path target = ResolveIgnoreCase(fs::path(mapDir.empty() ? std::string(".") : mapDir), kMapErrorTableName);
        bool copied = CopyFileAtomically(standard.ErrorTablePath(), target);
        // The next run starts from an empty working table in either case, so that
        // findings are never handed over twice.
        standard.ResetErrorTable();
        if (!copied) throw Exception(Format("Tabuľka chýb nebola uložená\r(%s)", target.string().c_str()));
        result.ErrorTable = target.string();
        view.ShowErrorBrowser(mapDir);
    } else {
        view.Information(kNoFindings);
    }
    return result;
}

std::vector<TErrorRecord> ReadErrorTable(const std::string& path) {
    auto text = [](const TValue& v) -> std::optional<std::string> {
        if (auto s = std::get_if<std::string>(&v)) return *s;
        return std::nullopt;
    };
    auto number = [](const TValue& v) -> std::optional<std::int32_t> {
        if (auto d = std::get_if<double>(&v)) return static_cast<std::int32_t>(*d);
        return std::nullopt;
    };
    std::vector<TErrorRecord> rows;
    TTableDBF table;
    table.SetDatabaseName(ExtractFilePath(path));
    table.SetTableName(path);
    table.Open();
    TFldValList values;
    for (table.First(); !table.Eof(); table.Next()) {
        table.GetValues(values);
        if (values.size() < 7) throw Exception(Format("Chybná tabuľka chýb\r(%s)", path.c_str()));
        TErrorRecord r;
        r.Id = number(values[0].Value).value_or(0);
        r.Blok = text(values[1].Value).value_or("");
        r.Vrstva = text(values[2].Value);
        r.Prvok = text(values[3].Value).value_or("");
        r.Druh = number(values[4].Value);
        r.Cislo = number(values[5].Value);
        r.Chyba = text(values[6].Value).value_or("");
        rows.push_back(std::move(r));
    }
    table.Close();
    return rows;
}

std::string FindingLine(const TErrorRecord& f) {
    auto opt = [](const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : std::string(); };
    // Names may hold any byte: control characters are escaped so that a finding stays one line.
    return EscapeControlChars(f.Blok) + "\t" + EscapeControlChars(f.Prvok) + "\t" + opt(f.Cislo) + "\t" + opt(f.Druh) +
           "\t" + std::to_string(f.Id) + "\t" + EscapeControlChars(f.Chyba);
}

}  // namespace vexa
