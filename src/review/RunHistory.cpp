#include "review/RunHistory.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/MapFiles.h"
#include "common/Text.h"
#include "review/Exceptions.h"
#include "review/RunReview.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

namespace vexa::review {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMagic = "vexa-run\t1";
constexpr const char* kExtension = ".run";
// Bounds on what is read of one run file: the whole file (its findings), and its metadata.
constexpr std::uintmax_t kMaxRunFileBytes = 64ULL << 20;
constexpr std::size_t kMaxRunMetadataBytes = 1 << 20;

std::string Escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::string Opt(const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : std::string(); }

void PutFinding(std::string& out, char tag, const TRunFinding& f) {
    out += tag;
    for (const std::string& field : {f.Block, f.Group, Opt(f.Number), std::to_string(f.Code), Opt(f.Kind), f.Status,
                                     f.Since, f.Text, f.Table, f.Detail}) {
        out += '\t';
        out += Escape(field);
    }
    out += '\n';
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) {
        out += '\t';
        out += Escape(s);
    }
    return out;
}

// Whether a run file whose metadata reads ends with its last line (was written whole).
bool EndsWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() < 4) return false;
    in.seekg(-4, std::ios::end);
    char tail[4];
    return static_cast<bool>(in.read(tail, 4)) && std::string_view(tail, 4) == "end\n";
}

bool IsRunFile(const fs::path& p) { return p.extension() == kExtension && p.filename().string()[0] != '.'; }

}  // namespace

fs::path HistoryDir(const std::string& mapDir) { return fs::path(mapDir.empty() ? std::string(".") : mapDir) / ".vexa"; }

std::string TRunFinding::Key() const { return FindingKey(Block, Group, Number, Code, Kind, Table); }

bool TRunRecord::Checks(const std::string& block) const {
    return std::find(Checked.begin(), Checked.end(), block) != Checked.end();
}

std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string NewRunId() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return Format("%s-%03d", buf, ms);
}

TRunRecord ReadRun(const fs::path& file, bool withFindings) {
    const std::string damaged = "Záznam kontroly sa nedá prečítať\r(" + file.string() + ")";
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Exception(damaged);
    // Read whole and split in place: a run of a large map has many thousand lines. What is
    // read is bounded: no run Vexa writes comes near kMaxRunFileBytes.
    std::error_code sizeError;
    const auto bytes = fs::file_size(file, sizeError);
    if (withFindings && !sizeError && bytes > kMaxRunFileBytes)
        throw Exception(Format("Záznam kontroly je väčší ako %llu MB, nečíta sa\r(%s)",
                               static_cast<unsigned long long>(kMaxRunFileBytes >> 20), file.string().c_str()));
    std::string text;
    if (withFindings) {
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    } else {
        // The metadata comes before the findings: read up to the first finding.
        // Line by line, never more than kMaxRunMetadataBytes (a file of one endless line).
        std::string line;
        for (char c; in.get(c);) {
            if (c != '\n') {
                line += c;
                if (text.size() + line.size() > kMaxRunMetadataBytes) throw Exception(damaged);
                continue;
            }
            if (line.size() > 1 && (line[0] == 'F' || line[0] == 'X' || line[0] == 'E') && line[1] == '\t') break;
            text += line;
            text += '\n';
            line.clear();
        }
        if (!line.empty() && !(line.size() > 1 && (line[0] == 'F' || line[0] == 'X' || line[0] == 'E') && line[1] == '\t'))
            text += line + '\n';
    }
    TRunRecord run;
    run.File = file.string();
    bool ok = true, sawEnd = false, first = true;
    auto integer = [&](std::string_view s) {
        long long v = 0;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) ok = false;
        return static_cast<int>(v);
    };
    auto optional = [&](std::string_view s) -> std::optional<std::int32_t> {
        if (s.empty()) return std::nullopt;
        return integer(s);
    };
    auto field = [](std::string_view s) { return s.find('\\') == std::string_view::npos ? std::string(s) : Unescape(std::string(s)); };
    std::vector<std::string_view> f;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != kMagic) throw Exception(damaged);
            first = false;
            continue;
        }
        if (line.empty()) continue;
        f.clear();
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        const std::string_view key = f[0];
        if (key == "F" || key == "X" || key == "E") {
            if (f.size() != 9 && f.size() != 11) throw Exception(damaged);
            TRunFinding r;
            r.Block = field(f[1]), r.Group = field(f[2]);
            r.Number = optional(f[3]);
            r.Code = integer(f[4]);
            r.Kind = optional(f[5]);
            r.Status = field(f[6]), r.Since = field(f[7]), r.Text = field(f[8]);
            if (f.size() == 11) r.Table = field(f[9]), r.Detail = field(f[10]);
            (key == "F" ? run.Found : key == "X" ? run.Gone : run.Left).push_back(std::move(r));
            continue;
        }
        if (key == "end") {
            sawEnd = true;
            continue;
        }
        const std::string value = f.size() > 1 ? field(f[1]) : std::string();
        auto list = [&] {
            std::vector<std::string> items;
            for (std::size_t i = 1; i < f.size(); ++i) items.push_back(field(f[i]));
            return items;
        };
        if (key == "id") run.Id = value;
        else if (key == "date") run.Date = value;
        else if (key == "version") run.Version = value;
        else if (key == "standard") run.Standard = value;
        else if (key == "description") run.Description = value;
        else if (key == "options") run.Options = value;
        else if (key == "user") run.User = value;
        else if (key == "checks") run.ChecksRan = list();
        else if (key == "checked") run.Checked = list();
        else if (key == "skipped") run.Skipped = list();
        else if (key == "complete") run.Complete = value == "1";
        else if (key == "merge") run.Merge = value == "1";
        else if (key == "duration") run.Duration = TextToFloat(value).value_or(0);
        else if (key == "new") run.New = integer(value);
        else if (key == "persisting") run.Persisting = integer(value);
        else if (key == "fixed") run.Fixed = integer(value);
        else if (key == "excepted") run.Excepted = integer(value);
        else if (key == "findings") run.Findings = integer(value);
        // other keys are those of a later version: passed over
    }
    // A file cut short (a full disk) lacks its last line.
    if (first || !ok || run.Id.empty() || (withFindings && !sawEnd)) throw Exception(damaged);
    if (run.ChecksRan.empty()) run.ChecksRan = ChecksOfOptions(run.Options);
    return run;
}

std::vector<TRunRecord> ListRuns(const std::string& mapDir, bool withFindings, std::vector<std::string>& problems) {
    const fs::path dir = HistoryDir(mapDir) / "runs";
    std::vector<fs::path> files;
    std::error_code ec;
    // A history that links to elsewhere is not the map's: not read, never pruned.
    try {
        RefuseLinkedPath(HistoryDir(mapDir).parent_path(), fs::path(".vexa") / "runs", "História kontrol sa nečíta");
    } catch (const Exception& e) {
        problems.push_back(e.Message());
        return {};
    }
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (IsRunFile(it->path())) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::vector<TRunRecord> runs;
    for (const fs::path& f : files) {
        try {
            runs.push_back(ReadRun(f, withFindings));
        } catch (const Exception& e) {
            problems.push_back(e.Message());
        }
    }
    return runs;
}

void SaveRun(const std::string& mapDir, TRunRecord& run) {
    const fs::path dir = HistoryDir(mapDir) / "runs";
    std::error_code ec;
    RefuseLinkedPath(HistoryDir(mapDir).parent_path(), fs::path(".vexa") / "runs", "Záznam kontroly nebol uložený");
    fs::create_directories(dir, ec);
    if (run.Date.empty()) run.Date = NowText();
    if (run.User.empty()) run.User = LoginName();
    if (run.Id.empty()) {
        run.Id = NewRunId();
        // Two runs in one millisecond: the later one takes the next, so that ids sort by time.
        while (fs::exists(dir / (run.Id + kExtension), ec)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            run.Id = NewRunId();
        }
    }
    const fs::path target = dir / (run.Id + kExtension);
    run.File = target.string();
    std::string out = std::string(kMagic) + "\n";
    auto put = [&](const char* key, const std::string& value) { out += std::string(key) + "\t" + Escape(value) + "\n"; };
    put("id", run.Id);
    put("date", run.Date);
    put("version", run.Version);
    put("standard", run.Standard);
    put("description", run.Description);
    put("options", run.Options);
    put("user", run.User);
    out += "checks" + Joined(run.ChecksRan) + "\n";
    out += "checked" + Joined(run.Checked) + "\n";
    out += "skipped" + Joined(run.Skipped) + "\n";
    put("complete", run.Complete ? "1" : "0");
    put("merge", run.Merge ? "1" : "0");
    put("duration", FloatToText(run.Duration));
    run.Findings = static_cast<int>(run.Found.size());
    put("findings", std::to_string(run.Findings));
    put("new", std::to_string(run.New));
    put("persisting", std::to_string(run.Persisting));
    put("fixed", std::to_string(run.Fixed));
    put("excepted", std::to_string(run.Excepted));
    for (const TRunFinding& f : run.Found) PutFinding(out, 'F', f);
    for (const TRunFinding& f : run.Gone) PutFinding(out, 'X', f);
    for (const TRunFinding& f : run.Left) PutFinding(out, 'E', f);
    out += "end\n";
    const fs::path temp = TempPathBeside(target);
    try {
        std::error_code cause;
        if (!WriteNewFile(temp, out, cause)) throw Exception("write");
        CommitReplacement(temp, target);
    } catch (const std::exception&) {
        fs::remove(temp, ec);
        throw Exception("Záznam kontroly nebol uložený\r(" + target.string() + ")");
    }
    // The oldest runs beyond the kept number go, each only when its metadata reads and it
    // ends with its last line: a file that does not is left for the user.
    std::vector<std::string> problems;
    std::vector<TRunRecord> runs = ListRuns(mapDir, false, problems);
    for (std::size_t i = 0; i + kRunsKept < runs.size(); ++i)
        if (EndsWhole(runs[i].File)) fs::remove(runs[i].File, ec);
}

}  // namespace vexa::review
