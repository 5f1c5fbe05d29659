#include "review/RunReview.h"

#include "common/Utf8.h"

#include "block/BlkObj.h"
#include "common/Exception.h"
#include "common/Text.h"
#include "review/Fingerprint.h"
#include "standard/FindingKinds.h"

#include <cstdio>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <type_traits>
#include <unordered_set>

namespace vexa::review {

namespace fs = std::filesystem;

namespace {

std::string Key(const TFinding& f) {
    const TErrorRecord& r = f.Record;
    return FindingKey(r.Blok, r.Prvok, r.Cislo, r.Id, r.Druh, f.Place.Table);
}

bool IsTableCode(std::int32_t code) {
    for (const TFindingCode& c : FindingCodes)
        if (c.Code == code) return c.Group == TCheckGroup::Databases;
    return false;
}

// An element as the passes' fingerprints name it.
std::string SeenKey(const std::string& block, const std::string& group, std::int32_t number) {
    return EscapeInvalidUtf8(block) + "|" + group + "|" + std::to_string(number);
}

// FindingKey of run findings, the block's printed name kept from the finding before (a
// run's findings come block by block).
class TKeys {
public:
    std::string operator()(const TRunFinding& f) {
        if (!FHave || f.Block != FBlock) FBlock = f.Block, FPrinted = EscapeInvalidUtf8(f.Block), FHave = true;
        std::string k;
        k.reserve(FPrinted.size() + f.Group.size() + f.Table.size() + 28);
        k += FPrinted;
        k += '|';
        k += f.Group;
        k += '|';
        if (f.Number) k += std::to_string(*f.Number);
        k += '|';
        k += std::to_string(f.Code);
        k += '|';
        if (f.Kind) k += std::to_string(*f.Kind);
        k += '|';
        k += LowerAscii(f.Table);
        return k;
    }

private:
    bool FHave = false;
    std::string FBlock, FPrinted;
};

// The check of each base name among a run's checks ("-15" → "-15@50").
std::map<std::string, std::string> ByBase(const std::vector<std::string>& checks) {
    std::map<std::string, std::string> by;
    for (const std::string& c : checks) by[CheckBase(c)] = c;
    return by;
}

}  // namespace

std::optional<TRunOptions> ParseOptionsText(const std::string& text) {
    TRunOptions o;
    char length[64] = {}, area[64] = {};
    if (std::sscanf(text.c_str(), "db=%u lines=%u points=%u texts=%u areas=%u length=%63s area=%63s", &o.Db, &o.Lines,
                    &o.Points, &o.Texts, &o.Areas, length, area) != 7)
        return std::nullopt;
    const auto l = TextToFloat(length), a = TextToFloat(area);
    if (!l || !a) return std::nullopt;
    o.LengthLimit = *l;
    o.AreaLimit = *a;
    return o;
}

std::vector<std::string> ChecksRun(unsigned db, unsigned lines, unsigned points, unsigned texts, unsigned areas,
                                   double lengthLimit, double areaLimit) {
    std::vector<std::string> checks;
    for (const TFindingCode& c : FindingCodes) {
        const std::string code = std::to_string(c.Code);
        switch (c.Group) {
        case TCheckGroup::Databases:
            // A missing table is reported whatever database bits are set.
            if (db != 0) checks.push_back(code + ":missing");
            if (db & c.Bit) checks.push_back(code + ":structure"), checks.push_back(code + ":fill");
            break;
        case TCheckGroup::Lines:
            if (lines & c.Bit)
                checks.push_back(c.Bit == option::LinDlzka ? code + "@" + FloatToText(lengthLimit) : code);
            break;
        case TCheckGroup::Points:
            if (points & c.Bit) checks.push_back(code);
            break;
        case TCheckGroup::Texts:
            if (texts & c.Bit) checks.push_back(code);
            break;
        case TCheckGroup::Areas:
            if (areas & c.Bit) checks.push_back(c.Bit == option::PloPlocha ? code + "@" + FloatToText(areaLimit) : code);
            break;
        }
    }
    return checks;
}

std::vector<std::string> ChecksOfOptions(const std::string& options) {
    const std::optional<TRunOptions> o = ParseOptionsText(options);
    if (!o) return {};
    return ChecksRun(o->Db, o->Lines, o->Points, o->Texts, o->Areas, o->LengthLimit, o->AreaLimit);
}

std::string CheckOf(std::int32_t code, const std::string& text) {
    std::string check = std::to_string(code);
    if (!IsTableCode(code)) return check;
    if (text == findingtext::BadStructure) return check + ":structure";
    if (text == findingtext::BadFill) return check + ":fill";
    return check + ":missing";
}

std::string CheckBase(const std::string& check) { return check.substr(0, check.find('@')); }

bool RanCheckOf(const std::vector<std::string>& checks, std::int32_t code, const std::string& text) {
    const std::string base = CheckOf(code, text);
    for (const std::string& c : checks)
        if (CheckBase(c) == base) return true;
    return false;
}

struct TRunReview::Previous {
    struct Entry {
        const std::string* Since = nullptr;  // of the last standing finding of the key
        const TStanding* Rows = nullptr;     // the standing findings of the key, through SameKey
    };
    std::unordered_map<std::string, Entry> Since;  // by key of the block's standing findings
    // The block's standing findings of the run's checks, each with the run it stood in last
    // (newest run first, in the order it found them).
    std::vector<std::pair<const TStanding*, std::int64_t>> Findings;
};

std::string CountsMessage(const TReviewCounts& c) {
    return Format("Nové: %d, trvajúce: %d, opravené: %d, výnimky: %d.", c.New, c.Persisting, c.Fixed, c.Excepted);
}

std::string OptionsText(unsigned db, unsigned lines, unsigned points, unsigned texts, unsigned areas,
                        double lengthLimit, double areaLimit) {
    return Format("db=%u lines=%u points=%u texts=%u areas=%u length=%s area=%s", db, lines, points, texts, areas,
                  FloatToText(lengthLimit).c_str(), FloatToText(areaLimit).c_str());
}

TRunReview::TRunReview(std::string mapDir, TReviewSettings settings)
    : FMapDir(std::move(mapDir)), FSettings(std::move(settings)) {
    if (FSettings.UseExceptions) {
        try {
            for (TReviewException& e : LoadExceptions(FMapDir)) FExceptions[e.Key()] = std::move(e);
        } catch (const Exception& e) {
            FProblems.push_back(e.Message() + "\rkontrola pokračuje bez výnimiek");
        }
    }
    for (const auto& [key, e] : FExceptions)
        if (e.Number && *e.Number > 0 && e.Group.size() == 1) FWish.Add(EscapeInvalidUtf8(e.Block), e.Group[0], *e.Number);
    std::vector<std::string> problems;
    try {
        FHistoryDb = THistory::Open(FMapDir, problems);
        FHistory = FHistoryDb->Runs();
        FGeneration = FHistoryDb->Generation();
    } catch (const Exception& e) {
        problems.push_back(e.Message());
    }
    for (const std::string& p : problems) FProblems.push_back(p + "\rkontrola pokračuje bez tohto záznamu");
}

TRunReview::~TRunReview() { Release(); }

void TRunReview::Begin(const std::string& options) {
    Release();
    FOptions = options;
    FChecks = ChecksOfOptions(options);
    FStart = std::chrono::steady_clock::now();
    FRun = TRunRecord{};
    FRun.Date = NowText();
    FCounts = {};
    FExceptedKeys.clear();
    FSeen.clear();
    FContinues.clear();
    // The standing findings are read while the passes run.
    if (FHistoryDb && !FHistory.empty() && !FStandingRead && !FStandingLoad.valid())
        FStandingLoad = std::async(std::launch::async, [history = FHistoryDb.get()] { return history->Standing(); });
}

void TRunReview::Release() {
    FBlk.reset();
    FOpenBlock.clear();
}

const TFingerprintWish* TRunReview::FingerprintsWanted() const { return FWish.Empty() ? nullptr : &FWish; }

void TRunReview::ElementFingerprinted(const TElementFingerprint& element) {
    FSeen[SeenKey(element.Block, std::string(1, element.Group), element.Number)] = element.Fingerprint;
}

std::optional<std::optional<std::string>> TRunReview::FingerprintSeen(const std::string& block, const std::string& group,
                                                                      std::optional<std::int32_t> number) const {
    if (!number || *number <= 0) return std::optional<std::string>(kNoElement);
    const auto seen = FSeen.find(SeenKey(block, group, *number));
    if (seen == FSeen.end()) return std::nullopt;
    return seen->second;
}

const TRunReview::Previous& TRunReview::PreviousOf(const std::string& block) {
    auto found = FPrevious.find(block);
    if (found != FPrevious.end()) return *found->second;
    if (!FStandingRead) {
        FStandingRead = true;
        if (FStandingLoad.valid()) {
            try {
                for (auto& [name, rows] : FStandingLoad.get()) FStanding[name] = std::move(rows);
            } catch (const Exception& e) {
                FProblems.push_back(e.Message());
            }
        }
    }
    auto prev = std::make_unique<Previous>();
    auto standing = FStanding.find(block);
    if (standing != FStanding.end()) {
        // Each check of this run is compared with the newest run of the block that ran it
        // with the same limit; a finding of a check this run does not run is neither
        // persisting nor fixed. What stands of a check is what that run found.
        const std::set<std::string> wanted(FChecks.begin(), FChecks.end());
        std::set<std::string> covered;
        struct Newest {
            std::int64_t Serial;
            const std::string* Date;
        };
        std::unordered_map<std::string, Newest> newest;  // by check
        for (auto it = FHistory.rbegin(); it != FHistory.rend() && covered.size() < wanted.size(); ++it) {
            if (!it->Checks(block)) continue;
            for (const std::string& c : it->ChecksRan)
                if (wanted.count(c) && covered.insert(c).second) newest.emplace(c, Newest{it->Serial, &it->Date});
        }
        std::vector<std::pair<const TStanding*, const Newest*>> rows;
        for (const TStanding& st : standing->second) {
            auto n = newest.find(st.Check);
            if (n != newest.end()) rows.emplace_back(&st, &n->second);
        }
        std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return a.second->Serial != b.second->Serial ? a.second->Serial > b.second->Serial : a.first->Pos < b.first->Pos;
        });
        prev->Since.reserve(rows.size());
        TKeys key;
        for (const auto& [st, run] : rows) {
            Previous::Entry& e = prev->Since[key(st->Finding)];
            e.Since = st->Finding.Since.empty() ? run->Date : &st->Finding.Since;
            st->SameKey = e.Rows;
            e.Rows = st;
            prev->Findings.emplace_back(st, run->Serial);
        }
    }
    return *FPrevious.emplace(block, std::move(prev)).first->second;
}

std::optional<std::string> TRunReview::Fingerprint(const std::string& block, const std::string& group,
                                                   std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    // The passes took the fingerprints of the exceptions' elements from the blocks they read.
    if (const auto seen = FingerprintSeen(block, group, number)) return *seen;
    if (!FBlk || FOpenBlock != block) {
        FBlk.reset();
        FOpenBlock = block;
        auto blk = std::make_unique<TBlk>(false);
        try {
            blk->Open(BlockOnDisk(FMapDir + block), TBlkOpenMode::ReadOnly);
        } catch (const Exception&) {
            return std::nullopt;
        }
        FBlk = std::move(blk);
    }
    return ElementFingerprint(*FBlk, group, number);
}

bool TRunReview::Judge(TFinding& finding, std::string& exceptionReason) {
    const TErrorRecord& r = finding.Record;
    const std::string key = Key(finding);
    if (!FExceptions.empty()) {
        auto e = FExceptions.find(key);
        if (e != FExceptions.end()) {
            const std::optional<std::string> fp = finding.Fingerprint ? finding.Fingerprint : Fingerprint(r.Blok, r.Prvok, r.Cislo);
            if (fp && *fp == e->second.Fingerprint) {
                ++FCounts.Excepted;
                FExceptedKeys.insert(key);
                FRun.Left.push_back({r.Blok, r.Prvok, r.Cislo, r.Id, r.Druh, "excepted", FRun.Date, r.Chyba,
                                     finding.Place.Table, finding.Detail});
                exceptionReason = e->second.Reason;
                return false;
            }
            FNotes.push_back("Výnimka už neplatí, prvok sa zmenil: " + FindingText(r.Blok, r.Prvok, r.Cislo, r.Id) +
                             " (dôvod: " + e->second.Reason + ")");
        }
    }
    const Previous& prev = PreviousOf(r.Blok);
    auto since = prev.Since.find(key);
    const TStanding* continues = nullptr;
    if (since != prev.Since.end()) {
        finding.Status = "persisting", finding.Since = *since->second.Since;
        ++FCounts.Persisting;
        for (const TStanding* st = since->second.Rows; st; st = st->SameKey) {
            st->Seen = true;
            if (!continues || (st->Finding.Text == r.Chyba && st->Finding.Detail == finding.Detail)) continues = st;
        }
    } else {
        finding.Status = "new", finding.Since = FRun.Date;
        ++FCounts.New;
    }
    FContinues.push_back(continues);
    FRun.Found.push_back(
        {r.Blok, r.Prvok, r.Cislo, r.Id, r.Druh, finding.Status, finding.Since, r.Chyba, finding.Place.Table, finding.Detail});
    return true;
}

std::vector<std::string> TRunReview::TakeNotes() {
    std::vector<std::string> notes;
    notes.swap(FNotes);
    return notes;
}

std::string TRunReview::Finish(const std::vector<std::string>& checked, const std::vector<std::string>& skipped,
                               bool complete) {
    TContinuation continuation;
    continuation.Generation = FGeneration;
    for (const std::string& block : checked) {
        for (const auto& [st, last] : PreviousOf(block).Findings) {
            continuation.Standing.emplace_back(st, last);
            if (st->Seen) continue;  // a finding of its key was found again
            if (FExceptedKeys.count(st->Finding.Key())) continue;
            TRunFinding gone = st->Finding;
            gone.Status = "fixed";
            FRun.Gone.push_back(std::move(gone));
            ++FCounts.Fixed;
        }
    }
    // The keys found in the blocks of exceptions.
    std::unordered_set<std::string> found;
    if (!FExceptions.empty()) {
        std::unordered_set<std::string> blocks;
        for (const auto& [key, e] : FExceptions) blocks.insert(EscapeInvalidUtf8(e.Block));
        const std::string* last = nullptr;
        bool wanted = false;
        for (const TRunFinding& f : FRun.Found) {
            if (!last || *last != f.Block) last = &f.Block, wanted = blocks.count(EscapeInvalidUtf8(f.Block)) != 0;
            if (wanted) found.insert(f.Key());
        }
    }
    // Exceptions of the checked blocks whose element is gone: said, and kept.
    for (const auto& [key, e] : FExceptions) {
        if (found.count(key) || FExceptedKeys.count(key)) continue;
        const std::string block = EscapeInvalidUtf8(e.Block);
        if (std::none_of(checked.begin(), checked.end(),
                         [&](const std::string& b) { return EscapeInvalidUtf8(b) == block; }))
            continue;
        if (!Fingerprint(e.Block, e.Group, e.Number))
            FNotes.push_back("Výnimka sa týka prvku, ktorý už neexistuje: " + FindingText(e.Block, e.Group, e.Number, e.Code) +
                             " (dôvod: " + e.Reason + ")");
    }
    FBlk.reset();
    FOpenBlock.clear();
    FRun.Version = FSettings.Version;
    FRun.Standard = FSettings.Standard;
    FRun.Description = FSettings.Description;
    FRun.Options = FOptions;
    FRun.ChecksRan = FChecks;
    FRun.Checked = checked;
    FRun.Skipped = skipped;
    FRun.Complete = complete;
    FRun.Merge = FSettings.Merge;
    FRun.Duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    FRun.New = FCounts.New;
    FRun.Persisting = FCounts.Persisting;
    FRun.Fixed = FCounts.Fixed;
    FRun.Excepted = FCounts.Excepted;
    continuation.Rows = FContinues;
    try {
        THistory::Append(FMapDir, FRun, &continuation);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

namespace {

// "2026-12-09 15:03:22" as "9.12.2026 15:03".
std::string ShortDate(const std::string& date) {
    if (date.size() < 16) return date;
    const int day = std::atoi(date.substr(8, 2).c_str()), month = std::atoi(date.substr(5, 2).c_str());
    return std::to_string(day) + "." + std::to_string(month) + "." + date.substr(0, 4) + " " + date.substr(11, 5);
}

}  // namespace

std::size_t TStatusIndex::IdHash::operator()(const Id& id) const {
    std::uint64_t h = static_cast<std::uint32_t>(id.Number);
    h = h * 1000003u ^ static_cast<std::uint32_t>(id.Code);
    h = h * 1000003u ^ static_cast<std::uint32_t>(id.Kind);
    h = h * 1000003u ^ static_cast<unsigned char>(id.Group) ^ (id.HasNumber ? 256u : 0u) ^ (id.HasKind ? 512u : 0u);
    return static_cast<std::size_t>(h ^ (h >> 29));
}

TStatusIndex::Id TStatusIndex::MakeId(const std::string& group, std::optional<std::int32_t> number, std::int32_t code,
                                      std::optional<std::int32_t> kind) {
    Id id;
    id.Group = group.size() == 1 ? group[0] : '?';
    id.HasNumber = number.has_value();
    id.Number = number.value_or(0);
    id.Code = code;
    id.HasKind = kind.has_value();
    id.Kind = kind.value_or(0);
    return id;
}

void TStatusIndex::Add(const TRunFinding& f) {
    const bool isNew = f.Status == "new";
    auto text = FTexts.find(isNew ? std::string() : f.Since);
    if (text == FTexts.end())
        text = FTexts.emplace(isNew ? std::string() : f.Since, isNew ? std::string("nová") : "trvá od " + ShortDate(f.Since))
                   .first;
    TEntry entry{{isNew ? "new" : "persisting", f.Since}, &text->second};
    if (FByBlock[f.Block].insert_or_assign(MakeId(f.Group, f.Number, f.Code, f.Kind), std::move(entry)).second) ++FSize;
    FLastName = nullptr;
    FLast = nullptr;
}

const TStatusIndex::TEntry* TStatusIndex::Find(const std::string& block, const std::string& group,
                                               std::optional<std::int32_t> number, std::int32_t code,
                                               std::optional<std::int32_t> kind) const {
    if (!FLastName || *FLastName != block) {
        auto b = FByBlock.find(block);
        if (b == FByBlock.end()) return nullptr;
        FLastName = &b->first;
        FLast = &b->second;
    }
    auto e = FLast->find(MakeId(group, number, code, kind));
    return e == FLast->end() ? nullptr : &e->second;
}

TStatusIndex LatestStatuses(const std::string& mapDir, std::vector<std::string>& problems) {
    TStatusIndex statuses;
    try {
        std::unique_ptr<THistory> history = THistory::Open(mapDir, problems);
        const std::vector<TRunRecord>& runs = history->Runs();
        // By block and check (without its limit), the newest run that checked the block and
        // ran the check, and the check with its limit: a re-check of a few checks leaves the
        // statuses of the others to the runs before it. What stands of a check is what that
        // run found.
        struct Newest {
            std::int64_t Serial;
            const std::string* Check;
        };
        std::unordered_map<std::string, std::unordered_map<std::string, Newest>> newest;
        for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
            std::vector<std::pair<std::string, const std::string*>> bases;
            for (const std::string& c : it->ChecksRan) bases.emplace_back(CheckBase(c), &c);
            for (const std::string& b : it->Checked) {
                auto& of = newest[b];
                for (const auto& [base, check] : bases) of.try_emplace(base, Newest{it->Serial, check});
            }
        }
        std::string lastBlock;
        const std::unordered_map<std::string, Newest>* of = nullptr;
        std::unordered_map<const std::string*, std::string> bases;  // the history's check names keep their place
        history->StandingStatuses([&](const std::string& check, std::int64_t firstRun, bool firstNew, TRunFinding& f) {
            if (!of || lastBlock != f.Block) {
                auto b = newest.find(f.Block);
                lastBlock = f.Block;
                of = b == newest.end() ? nullptr : &b->second;
            }
            if (!of) return;
            auto base = bases.find(&check);
            if (base == bases.end()) base = bases.emplace(&check, CheckBase(check)).first;
            auto n = of->find(base->second);
            if (n == of->end() || *n->second.Check != check) return;
            f.Status = firstRun == n->second.Serial && firstNew ? "new" : "persisting";
            statuses.Add(f);
        });
    } catch (const Exception& e) {
        problems.push_back(e.Message());
    }
    return statuses;
}

std::vector<TRunFinding> LatestFindingsLike(const std::string& mapDir, const std::string& block,
                                            const std::string& group, std::optional<std::int32_t> number,
                                            std::int32_t code, const std::string& text) {
    std::vector<std::string> problems;
    try {
        std::unique_ptr<THistory> history = THistory::Open(mapDir, problems);
        const std::vector<TRunRecord>& runs = history->Runs();
        for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
            if (!it->Checks(block) || !RanCheckOf(it->ChecksRan, code, text)) continue;
            std::vector<TRunFinding> like;
            for (const TRunFinding& f : history->Load(*it, block).Found)
                if (f.Block == block && f.Group == group && f.Number == number && f.Code == code && f.Text == text)
                    like.push_back(f);
            return like;
        }
    } catch (const Exception&) {
        // A history that cannot be read tells nothing.
    }
    return {};
}

namespace {

// CompareRuns; Take moves the findings of both runs out (they are not used after).
template <bool Take>
std::vector<TRunFinding> Compared(std::conditional_t<Take, TRunRecord&, const TRunRecord&> a,
                                  std::conditional_t<Take, TRunRecord&, const TRunRecord&> b) {
    std::unordered_set<std::string> inA, inB;
    inA.reserve(a.Found.size());
    inB.reserve(b.Found.size() + b.Left.size());
    TKeys key;
    std::vector<std::string> keysA;
    keysA.reserve(a.Found.size());
    for (const TRunFinding& f : a.Found) inA.insert(keysA.emplace_back(key(f)));
    std::vector<TRunFinding> out;
    out.reserve(b.Found.size() + b.Left.size());
    for (const TRunFinding& f : b.Found) {
        std::string k = key(f);
        if constexpr (Take) out.push_back(std::move(const_cast<TRunFinding&>(f)));
        else out.push_back(f);
        out.back().Status = inA.count(k) ? "persisting" : "new";
        inB.insert(std::move(k));
    }
    for (const TRunFinding& f : b.Left) inB.insert(key(f));
    // a's findings of checks b ran with the same limits; those of other checks b cannot tell.
    const std::map<std::string, std::string> checksA = ByBase(a.ChecksRan), checksB = ByBase(b.ChecksRan);
    const std::unordered_set<std::string> checkedB(b.Checked.begin(), b.Checked.end());
    for (std::size_t i = 0; i < a.Found.size(); ++i) {
        const TRunFinding& gone = a.Found[i];
        if (!checkedB.count(gone.Block) || inB.count(keysA[i])) continue;
        const std::string base = CheckOf(gone.Code, gone.Text);
        const auto ca = checksA.find(base), cb = checksB.find(base);
        const bool unknown = a.ChecksRan.empty() && b.ChecksRan.empty();  // runs that do not say
        if (!unknown && (ca == checksA.end() || cb == checksB.end() || ca->second != cb->second)) continue;
        if constexpr (Take) out.push_back(std::move(const_cast<TRunFinding&>(gone)));
        else out.push_back(gone);
        out.back().Status = "fixed";
    }
    for (TRunFinding f : b.Left) {  // found by B and left out by an exception
        f.Status = "excepted";
        out.push_back(std::move(f));
    }
    return out;
}

}  // namespace

std::vector<TRunFinding> CompareRuns(const TRunRecord& a, const TRunRecord& b) { return Compared<false>(a, b); }
std::vector<TRunFinding> CompareRuns(TRunRecord&& a, TRunRecord&& b) { return Compared<true>(a, b); }

std::string StaleTableNotice(const std::string& mapDir, const std::string& tablePath) {
    std::vector<std::string> problems;
    std::vector<TRunRecord> runs = ListRuns(mapDir, false, problems);
    if (runs.empty()) return "";
    const TRunRecord& last = runs.back();
    if (!last.Complete || last.Merge || last.Findings > 0) return "";
    std::error_code ec;
    const auto written = fs::last_write_time(tablePath, ec);
    if (ec) return "";
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    if (std::string(buf) > last.Date) return "";
    return "Posledná kontrola (" + last.Date + ") nenašla žiadne chyby; zobrazená tabuľka chýb je z " + buf + ".";
}

}  // namespace vexa::review
