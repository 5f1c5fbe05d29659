// The standard object: its private working copy, lookups and working error table.
#include "standard/BlkStandardGXD.h"

#include "common/FileNames.h"
#include "common/MapFiles.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "access/AccessDb.h"
#include "access/AccessSql.h"
#include "standard/CheckRunCache.h"
#include "standard/ErrorTable.h"
#include "access/JetImport.h"
#include "access/JetIsolated.h"
#include "standard/StandardFiles.h"
#include "standard/StandardImpl.h"
#include "standard/StringList.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace vexa {

namespace fs = std::filesystem;

namespace {

const char* const kNotOpen = "Štandard nebol otvorený.";
const char* const kNotCreated = "Databáza nebola vytvorená.";
const char* const kBadStandard = "Chybný súbor štandardu GXD.";

// Days from 1 January 1970 to a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The working copy's name: local date and time as days since 30 December 1899,
// times 10000, in hexadecimal.
std::string WorkFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long long days = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                         static_cast<unsigned>(local.tm_mday)) -
                           DaysFromCivil(1899, 12, 30);
    const double stamp =
        (static_cast<double>(days) + (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0) * 10000;
    return Format("%llx.mdb", static_cast<unsigned long long>(static_cast<long long>(stamp)));
}

bool CopyOver(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

// Why path cannot be read as a file; empty when it can.
std::string FileCause(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec) return SysCause(ec);
    if (fs::is_directory(st)) return "je adresár, nie súbor";
    if (!fs::is_regular_file(st)) return "nie je obyčajný súbor";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return SysCause(errno);
    std::fclose(f);
    return std::string();
}

// "Databáza nebola vytvorená.\r(<path>: <cause>)"; the cause of the file at path when none is given.
EStdException NotCreated(const fs::path& path, std::string cause = std::string()) {
    if (cause.empty()) cause = FileCause(path);
    if (cause.empty()) cause = "nedá sa skopírovať";
    return EStdException(std::string(kNotCreated) + "\r(" + path.string() + ": " + cause + ")");
}

}  // namespace

TBlkStandardGXD::TImpl::~TImpl() {
    try {
        ErrorTable.SetPath({});  // closes the table before its directory goes
    } catch (...) {
        // A destructor cannot report it: the runs write their records before they end.
    }
    Link.reset();
    Db.reset();
    if (!WorkDir.empty()) {
        std::error_code ec;
        fs::remove_all(WorkDir, ec);
    }
}

std::string StandardLayerCode(const std::string& layer) { return AccessUpper(CutUtf8(layer, 2)); }

TBlkStandardGXD::TBlkStandardGXD(const std::string& standardPath, const std::string& templatePath, IUserInterface& ui)
    : FUI(ui), FImpl(std::make_unique<TImpl>()) {
    WaitCursorGuard cursor(FUI);
    FImpl->TemplatePath = templatePath;

    // A directory of this object's own under the temporary directory keeps two
    // processes (or two objects) from sharing a working copy or error table.
    std::string tempFailure;
    FImpl->WorkDir = MakePrivateTempDir(tempFailure);
    if (FImpl->WorkDir.empty())
        throw EStdException(std::string(kNotCreated) + "\rDočasný adresár sa nedá použiť\r(" + tempFailure + ")");
    const std::string workPath = IncludeTrailingDelimiter(FImpl->WorkDir) + WorkFileName();

    // The working copy: an SQLite standard is copied, a Jet one imported.
    std::error_code ec;
    if (!fs::is_regular_file(standardPath, ec)) throw NotCreated(standardPath);
    switch (DetectDbFileFormat(standardPath)) {
    case TDbFileFormat::SQLite:
        if (!CopyOver(standardPath, workPath)) throw NotCreated(standardPath);
        break;
    case TDbFileFormat::Jet: {
        const auto password = ReadJetPassword(standardPath);
        if (password && !password->empty() && *password != kStandardPassword)
            throw EAccessDbError("Not a valid password.");
        ImportJetDatabaseIsolated(standardPath, workPath);
        break;
    }
    default:
        if (!std::ifstream(standardPath, std::ios::binary)) throw NotCreated(standardPath);
        throw EStdException("Súbor nie je databáza Access ani SQLite, nemôže byť štandardom (" +
                            std::string(kStandardFileName) + ")\r(" + standardPath + ")");
    }
    // Only the thread that drives the check run (and, before and after it, the
    // window's) works on the working copy; the element workers never do.
    FImpl->Db = std::make_unique<TAccessDb>(workPath, true);
    // The working copy is this object's own temporary file, removed with it:
    // nothing of it has to outlive a crash, so it is not synced, its rollback
    // journal stays in memory (rollbacks still work) and freed pages are not
    // overwritten. The cache holds up to 128 MB, so an attribute table of a few
    // hundred thousand rows is worked on in memory.
    FImpl->Db->ExecuteNative("pragma synchronous = off");
    FImpl->Db->ExecuteNative("pragma journal_mode = memory");
    FImpl->Db->ExecuteNative("pragma cache_size = -131072");
    FImpl->Db->ExecuteNative("pragma temp_store = memory");
    FImpl->Db->ExecuteNative("pragma secure_delete = off");

    // Identity marker.
    std::string id;
    if (FImpl->Db->TableExists("Podpis")) {  // without the marker table the file is no standard
        const auto r = FImpl->Db->Select("select IDDB from Podpis");
        if (!r.Rows.empty() && !r.Rows[0].empty()) id = r.Rows[0][0].AsText();
    }
    if (id != kStandardIdentity) {
        FImpl->Db.reset();
        throw EStdException(kBadStandard);
    }

    // Working error table from the template.
    const std::string errorPath = IncludeTrailingDelimiter(FImpl->WorkDir) + kErrorTableFileName;
    if (!CopyOver(templatePath, errorPath)) {
        FImpl->Db.reset();
        throw NotCreated(templatePath);
    }
    FImpl->ErrorTable.SetPath(errorPath);

    FStandardPath = standardPath;
    KeepFromOutputs(standardPath);  // no output of the run may replace the standard or the template
    KeepFromOutputs(templatePath);
    FWorkPath = workPath;
    FErrorTablePath = errorPath;
    LoadStandard();
}

TBlkStandardGXD::TBlkStandardGXD(const TBlkStandardGXD& from, TWorkerTag)
    : FUI(NullUserInterface::Instance()),
      FStandardPath(from.FStandardPath),
      FWorkPath(from.FWorkPath),
      FDescription(from.FDescription),
      FImpl(std::make_unique<TImpl>()) {
    from.RequireOpen();
    const TImpl& f = *from.FImpl;
    TImpl& i = *FImpl;
    i.Layers = f.Layers;
    i.AreaOnlyLayers = f.AreaOnlyLayers;
    i.LineKinds = f.LineKinds;
    i.PointKinds = f.PointKinds;
    i.AreaKinds = f.AreaKinds;
    i.TextKinds = f.TextKinds;
    i.PointZeroAngleKinds = f.PointZeroAngleKinds;
    i.TextZeroAngleKinds = f.TextZeroAngleKinds;
    i.Findings.Detach(i.TableSink);
    i.Findings.SetPlacesWanted(f.Findings.WantsPlaces());
}

std::unique_ptr<TBlkStandardGXD> TBlkStandardGXD::ElementWorker() const {
    return std::unique_ptr<TBlkStandardGXD>(new TBlkStandardGXD(*this, TWorkerTag{}));
}

TBlkStandardGXD::~TBlkStandardGXD() {
    FRunCache.reset();
    FImpl.reset();  // closes the error table and the working copy, removes their files and directory
}

void TBlkStandardGXD::LoadStandard() {
    auto& db = *FImpl->Db;
    {
        const auto r = db.Select("select Popis from Podpis");
        FDescription = r.Rows.empty() ? std::string() : r.Rows[0][0].AsText();
    }
    for (const auto& row : db.Select("select UCase(Vrstva), LenPlochy from Vrstvy").Rows) {
        const std::string layer = row[0].AsText();
        FImpl->Layers.Add(layer);
        if (row[1].AsBool()) FImpl->AreaOnlyLayers.Add(layer);
    }
    for (const auto& row : db.Select("select UCase(Typ), Kod, UCase(Vrstvy), Uhol0 from Prvky").Rows) {
        const std::string type = row[0].AsText();
        if (type.empty()) continue;
        const std::string kod = row[1].AsText();
        const std::string entry = kod + "=" + row[2].AsText();
        switch (type[0]) {
        case 'B':
            FImpl->PointKinds.Add(entry);
            if (row[3].AsBool()) FImpl->PointZeroAngleKinds.Add(kod);
            break;
        case 'L': FImpl->LineKinds.Add(entry); break;
        case 'P': FImpl->AreaKinds.Add(entry); break;
        case 'T':
            FImpl->TextKinds.Add(entry);
            if (row[3].AsBool()) FImpl->TextZeroAngleKinds.Add(kod);
            break;
        default: break;
        }
    }
}

void TBlkStandardGXD::RequireOpen() const {
    if (FWorkPath.empty()) throw EStdException(kNotOpen);
}

bool TBlkStandardGXD::IsLayerKnown(const std::string& layer) const {
    RequireOpen();
    return FImpl->Layers.Contains(StandardLayerCode(layer));
}

bool TBlkStandardGXD::IsAreasOnlyLayer(const std::string& layer) const {
    RequireOpen();
    return FImpl->AreaOnlyLayers.Contains(StandardLayerCode(layer));
}

bool TBlkStandardGXD::IsKindAdmissible(const std::string& layer, int group, std::int16_t kind) const {
    RequireOpen();
    const TStringList* list = group == egLine    ? &FImpl->LineKinds
                              : group == egPoint ? &FImpl->PointKinds
                              : group == egArea  ? &FImpl->AreaKinds
                              : group == egText  ? &FImpl->TextKinds
                                                 : nullptr;
    if (!list) return false;
    const std::string layers = list->Values(std::to_string(kind));
    const std::string code = StandardLayerCode(layer);
    return !code.empty() && layers.find(code) != std::string::npos;
}

bool TBlkStandardGXD::NeedsZeroAngle(int group, std::int16_t kind) const {
    RequireOpen();
    if (group == egPoint) return FImpl->PointZeroAngleKinds.Contains(std::to_string(kind));
    if (group == egText) return FImpl->TextZeroAngleKinds.Contains(std::to_string(kind));
    return false;
}

void TBlkStandardGXD::SetGauge(IGauge* gauge) {
    FGauge = gauge;
    if (FGauge) {
        FGauge->SetProgress(0);
        FGauge->SetMinimum(0);
        FGauge->SetMaximum(0);
    }
}

const TStringList& TBlkStandardGXD::Layers() const { return FImpl->Layers; }
const TStringList& TBlkStandardGXD::AreaOnlyLayers() const { return FImpl->AreaOnlyLayers; }
const TStringList& TBlkStandardGXD::LineKinds() const { return FImpl->LineKinds; }
const TStringList& TBlkStandardGXD::PointKinds() const { return FImpl->PointKinds; }
const TStringList& TBlkStandardGXD::AreaKinds() const { return FImpl->AreaKinds; }
const TStringList& TBlkStandardGXD::TextKinds() const { return FImpl->TextKinds; }
const TStringList& TBlkStandardGXD::PointZeroAngleKinds() const { return FImpl->PointZeroAngleKinds; }
const TStringList& TBlkStandardGXD::TextZeroAngleKinds() const { return FImpl->TextZeroAngleKinds; }

TErrorTable& TBlkStandardGXD::ErrorTable() { return FImpl->ErrorTable; }

TFindingFanOut& TBlkStandardGXD::Findings() { return FImpl->Findings; }

TAccessDb& TBlkStandardGXD::Database() {
    RequireOpen();
    if (!FImpl->Db) throw EStdException(kNotOpen);
    return *FImpl->Db;
}

void TBlkStandardGXD::ResetErrorTable() {
    FImpl->ErrorTable.SetPath(FImpl->ErrorTable.Path());  // closes it, writing what is pending
    std::error_code ec;
    if (!FErrorTablePath.empty() && fs::exists(FErrorTablePath, ec)) fs::remove(FErrorTablePath, ec);
    FErrorTablePath.clear();
    const std::string errorPath = IncludeTrailingDelimiter(FImpl->WorkDir) + kErrorTableFileName;
    if (FImpl->WorkDir.empty() || !CopyOver(FImpl->TemplatePath, errorPath)) throw EStdException(kNotCreated);
    FErrorTablePath = errorPath;
}

}  // namespace vexa
