// TBlk: opening, creating and repairing a block's file set, closing it, and the clean test.
#include "block/BlkObj.h"

#include "block/BlkDuplicateIndex.h"
#include "block/BlkIo.h"
#include "block/BlkOpenHook.h"
#include "common/AtomicFile.h"
#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace vexa {

namespace {

// Creates (or replaces) a file of the block with the given content: written beside
// its place and renamed into it, so a failure leaves no half-written file behind.
void CreateBlockFile(const fs::path& target, const std::string& content) {
    fs::path temp = TempPathBeside(target);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            const int err = errno;
            std::error_code ec;
            fs::remove(temp, ec);
            throw Exception(target.string() + ": " + SysCause(err));
        }
    }
    CommitReplacement(temp, target);
}

template <typename T>
std::string RecordBytes(const T& rec) {
    return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
}

}  // namespace

TBlk::TBlk(bool inMemory) : FInMemory(inMemory) {}

TBlk::~TBlk() { Close(true); }

namespace {

// The local time now, broken down.
std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
#ifdef _WIN32
    localtime_s(&t, &now);
#else
    localtime_r(&now, &t);
#endif
    return t;
}

} // namespace

std::uint32_t TBlk::PackedNow() {
    const std::tm t = LocalNow();
    std::uint32_t date =
        std::uint32_t(t.tm_year + 1900 - 1980) * 512 + std::uint32_t(t.tm_mon + 1) * 32 + std::uint32_t(t.tm_mday);
    std::uint32_t time = std::uint32_t(t.tm_hour) * 2048 + std::uint32_t(t.tm_min) * 32 + std::uint32_t(t.tm_sec / 2);
    return (date << 16) | (time & 0xFFFF);
}

namespace {

// "YYYYMMDD-HHMMSS" of the local time now.
std::string StampNow() {
    const std::tm t = LocalNow();
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &t);
    return text;
}

// Sets a block file aside instead of deleting it: renamed beside the block's files to
// "<name>.orphan-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when that name is taken).
// Returns the new path; throws when the rename fails (the file then stays as it was).
fs::path SetAside(const fs::path& file) {
    const std::string base = file.filename().string() + ".orphan-" + StampNow();
    fs::path target = file.parent_path() / base;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(target, ec)); ++n)
        target = file.parent_path() / (base + "-" + std::to_string(n));
    fs::rename(file, target, ec);
    if (ec) throw Exception(file.string() + ": " + SysCause(ec));
    return target;
}

// Whether file is a symbolic link whose target lies outside the map directory (the
// block directory's parent): such a file belongs to someone else and is only read.
bool LinksOutsideMap(const fs::path& file, const fs::path& blockDir) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(file, ec))) return false;
    const fs::path target = fs::weakly_canonical(file, ec);
    if (ec) return true;
    fs::path map = blockDir.parent_path();
    if (map.empty()) map = ".";
    const fs::path mapDir = fs::weakly_canonical(map, ec);
    if (ec) return true;
    const fs::path inside = target.lexically_relative(mapDir);
    return inside.empty() || *inside.begin() == "..";
}

}  // namespace

namespace {
std::atomic<TBlkFileOpenHook> gFileOpenHook{nullptr};
}  // namespace

void SetBlkFileOpenHook(TBlkFileOpenHook hook) { gFileOpenHook.store(hook); }

void TBlk::Open(const std::string& path, TBlkOpenMode mode) {
    if (FOpened) Close(true);
    FOpenWarnings.clear();

    const std::string dirText = IncludeTrailingDelimiter(path);
    const fs::path dir(dirText);
    const fs::path dirEntry(ExcludeTrailingDelimiter(dirText));
    std::error_code ec;
    // A block directory that links to outside the map is read as a linked file is: never
    // written (no header stamps, no files made, nothing set aside).
    FLinkedOutside = LinksOutsideMap(dirEntry, dirEntry);
    if (FLinkedOutside) {
        if (mode != TBlkOpenMode::ReadOnly)
            FOpenWarnings.push_back(Format("Blok %s je odkaz mimo adresára mapy: číta sa, ale nezapisuje "
                                           "(ani opravy tabuliek atribútov)",
                                           dirEntry.string().c_str()));
        mode = TBlkOpenMode::ReadOnly;
    }
    const fs::file_status st = fs::status(dirEntry, ec);
    if (fs::exists(st) && !fs::is_directory(st)) throw EBlkNotOpened(dirEntry.string(), SysCause(ENOTDIR));
    if (!fs::exists(st)) {
        if (mode == TBlkOpenMode::ReadOnly) throw EBlkNotOpened(dirEntry.string(), SysCause(ENOENT));
        ec.clear();
        fs::create_directories(dir, ec);
        if (ec || !fs::is_directory(dir, ec))
            throw EBlkNotOpened(dirEntry.string(), SysCause(ec ? ec.value() : ENOTDIR));
    }

    std::string cause;
    std::vector<std::FILE**> kept;  // files only read: links to outside the map
    try {
        auto existing = [&](const char* name) { return FindEntryIgnoreCase(dir, name); };
        const std::uint32_t time = PackedNow();
        auto fresh = [&](const char* name) -> std::string {
            const std::string n(name);
            if (n == "tn.lin") return RecordBytes(blkio::LineHeader(time));
            if (n == "tn.pnt") return RecordBytes(blkio::PointHeader(time));
            if (n == "tn.tbx") return RecordBytes(blkio::TextHeader(time));
            if (n == "tn.are") return RecordBytes(blkio::AreaHeader(time));
            return std::string();
        };

        if (mode == TBlkOpenMode::Create) {
            // A file that is useless without its partner is set aside, never deleted: it may be
            // the half of a block copied in part.
            auto setAside = [&](const char* name, const char* missing) {
                if (auto p = existing(name)) {
                    fs::path kept = SetAside(*p);
                    FOpenWarnings.push_back(Format("Blok %s je neúplný (chýba %s): súbor %s bol odložený ako %s",
                                                   dirEntry.string().c_str(), missing, p->filename().string().c_str(),
                                                   kept.filename().string().c_str()));
                }
            };
            // A vertex file without its lines file (or the reverse) is useless: start the lines over.
            const bool crd = bool(existing("tn.crd")), lin = bool(existing("tn.lin"));
            if (!(crd && lin)) {
                const char* missing = !crd && !lin ? "tn.crd, tn.lin" : (!crd ? "tn.crd" : "tn.lin");
                setAside("tn.crd", missing);
                setAside("tn.lin", missing);
                setAside("tn.are", missing);
            }
            // Text records and text strings belong together.
            const bool tbx = bool(existing("tn.tbx")), ttx = bool(existing("tn.ttx"));
            if (tbx != ttx) {
                const char* missing = tbx ? "tn.ttx" : "tn.tbx";
                setAside("tn.tbx", missing);
                setAside("tn.ttx", missing);
            }

            for (const char* name : {"tn.crd", "tn.lin", "tn.pnt"})
                if (!existing(name)) CreateBlockFile(dir / name, fresh(name));
            if (!existing("tn.tbx")) {
                CreateBlockFile(dir / "tn.tbx", fresh("tn.tbx"));
                // The title names the block as a .pra path, in the block's code page.
                std::string blockPath = ChangeFileExt(ExcludeTrailingDelimiter(dirText), ".pra");
                std::string title = Format("TopoL ... soubor textu pro blok %s\r\n", blockPath.c_str());
                CreateBlockFile(ResolveIgnoreCase(dir, "tn.ttx"), FromUtf8(title, 1250));
            }
            if (!existing("tn.are")) CreateBlockFile(dir / "tn.are", fresh("tn.are"));
            if (!existing("info.txt")) CreateBlockFile(dir / "info.txt", "SOURADNYSYSTEM=JTSK\r\nCODEPAGE=1250\r\n");
        }

        auto openStream = [&](const char* name) {
            auto found = existing(name);
            if (!found && mode == TBlkOpenMode::ReadOnly) {
                // A missing file reads as a fresh one; it lives only in memory (an unnamed temporary file).
                std::FILE* f = std::tmpfile();
                if (!f) throw Exception(FileFailure("Neotvorený blok", (dir / name).string(), errno));
                const std::string content = fresh(name);
                if (!content.empty() && blkio::WriteAt(f, 0, content.data(), content.size()) != content.size()) {
                    std::fclose(f);
                    throw Exception(FileFailure("Neotvorený blok", (dir / name).string(), errno));
                }
                return f;
            }
            fs::path file = found ? *found : ResolveIgnoreCase(dir, name);
            const bool outside = mode != TBlkOpenMode::ReadOnly && LinksOutsideMap(file, dirEntry);
            if (outside)
                FOpenWarnings.push_back(Format("Súbor %s je odkaz mimo adresára mapy: číta sa, ale nezapisuje "
                                               "(časová značka v hlavičke sa neobnoví)",
                                               file.string().c_str()));
            const bool readOnly = mode == TBlkOpenMode::ReadOnly || outside;
            const char* how = readOnly ? "rb" : "r+b";
#ifdef _WIN32
            std::FILE* f = ::_wfopen(file.c_str(), readOnly ? L"rb" : L"r+b");
#else
            std::FILE* f = std::fopen(file.c_str(), how);
#endif
            (void)how;
            if (!f) {
                cause = file.string() + ": " + SysCause(errno);
                throw Exception("cannot open " + file.string());
            }
            if (const TBlkFileOpenHook hook = gFileOpenHook.load(std::memory_order_relaxed)) hook(file.string());
            return f;
        };
        auto openKept = [&](const char* name, std::FILE*& stream) {
            const std::size_t warnings = FOpenWarnings.size();
            stream = openStream(name);
            if (FOpenWarnings.size() != warnings) kept.push_back(&stream);
        };
        openKept("tn.crd", CrdStream);
        openKept("tn.lin", LinStream);
        openKept("tn.pnt", PntStream);
        openKept("tn.tbx", TbxStream);
        openKept("tn.are", AreStream);
    } catch (const std::exception& e) {
        for (std::FILE** f : {&CrdStream, &LinStream, &PntStream, &TbxStream, &AreStream}) {
            if (*f) std::fclose(*f);
            *f = nullptr;
        }
        FPath.clear();
        FOpened = false;
        if (cause.empty()) {
            if (auto fe = dynamic_cast<const fs::filesystem_error*>(&e))
                cause = fe->path1().string() + ": " + SysCause(fe->code());
            else if (dynamic_cast<const std::bad_alloc*>(&e))
                cause = SysCause(ENOMEM);
            else {
                cause = e.what();
                for (char& c : cause)
                    if (c == '\r') c = ' ';
            }
        }
        throw EBlkNotOpened(dirEntry.string(), cause);
    }
    for (TStreamState* state : {&FCrdState, &FLinState, &FPntState, &FTbxState, &FAreState}) *state = TStreamState{};
    // A linked block directory keeps every file as it is, as a linked file is kept.
    if (FLinkedOutside) kept = {&LinStream, &PntStream, &TbxStream, &AreStream};
    for (std::FILE** f : kept) {
        if (f == &LinStream) FLinState.Kept = true;
        if (f == &PntStream) FPntState.Kept = true;
        if (f == &TbxStream) FTbxState.Kept = true;
        if (f == &AreStream) FAreState.Kept = true;
    }
    FPath = dirText;
    FOpened = true;
}

void TBlk::Close(bool save) {
    if (!FOpened) return;
    if (FInMemory && save) SaveBuffers();
    DropReadCache();
    FPath.clear();
    for (std::FILE** f : {&CrdStream, &LinStream, &PntStream, &TbxStream, &AreStream}) {
        if (*f) std::fclose(*f);
        *f = nullptr;
    }
    for (TStreamState* state : {&FCrdState, &FLinState, &FPntState, &FTbxState, &FAreState}) *state = TStreamState{};
    FOpened = false;
}

// The files are always used directly (a memory-mode object behaves the same), so
// there is nothing buffered to write back.
void TBlk::SaveBuffers() {}

void TBlk::CheckOpened() const {
    if (!FOpened) throw EBlkNotOpened();
}

std::int64_t TBlk::StreamSize(std::FILE* stream) const {
    const std::int64_t size = blkio::FileSize(stream);
    if (size < 0) throw EBlkReadError(FPath);
    return size;
}

bool TBlk::GroupClean(std::FILE* stream, std::size_t size, std::size_t flagsOffset, std::uint8_t deletedMask,
                      bool positiveNumbers) {
    // Reads the records after the header front to back in large blocks; the stream's
    // own position is never moved.
    const std::int64_t fileSize = StreamSize(stream);
    const std::size_t perBlock = 1000;
    std::vector<std::uint8_t> buffer(perBlock * size);
    std::int32_t previous = -2147483647;
    std::int64_t pos = static_cast<std::int64_t>(size);
    while (pos < fileSize) {
        std::int64_t left = fileSize - pos;
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, std::int64_t(buffer.size())));
        std::size_t got = blkio::ReadAt(stream, pos, buffer.data(), want);
        std::size_t whole = got / size;
        for (std::size_t i = 0; i < whole; ++i) {
            const std::uint8_t* rec = buffer.data() + i * size;
            std::int32_t number;
            std::memcpy(&number, rec, sizeof number);
            if (rec[flagsOffset] & deletedMask) return false;
            if (number <= previous) return false;
            if (positiveNumbers && number < 1) return false;
            previous = number;
        }
        if (whole * size != got || got == 0) throw EBlkReadError(FPath);  // a trailing fragment
        pos += static_cast<std::int64_t>(got);
    }
    return true;
}

bool TBlk::IsClean() {
    CheckOpened();
    return GroupClean(LinStream, sizeof(TBlkLine), 7, 1, false) &&
           GroupClean(PntStream, sizeof(TBlkPoint), 7, 1, false) &&
           GroupClean(AreStream, sizeof(TBlkArea), 6, 4, false) && GroupClean(TbxStream, sizeof(TBlkText), 11, 1, true);
}

// --- read cache -----------------------------------------------------------

void TBlk::LoadCache(std::FILE* stream, blkio::TFileView& cache, std::int64_t limit) {
    std::int64_t size = StreamSize(stream);
    if (limit >= 0 && limit < size) size = limit;
    if (!cache.Load(stream, static_cast<std::size_t>(size))) throw EBlkReadError(FPath);
}

void TBlk::DropReadCache() {
    FReadCache = false;
    FCrdCache.Reset();
    FCrdFileSize = 0;
    FLinCache.Reset();
    FAreCache.Reset();
    FDuplicateIndex.reset();
}

void TBlk::SetReadCache(bool on) {
    DropReadCache();
    if (!on) return;
    CheckOpened();
    try {
        LoadCache(LinStream, FLinCache);
        LoadCache(AreStream, FAreCache);
        // Only the vertices the lines use: the highest index a line names, plus one.
        std::int64_t used = 0;
        for (std::size_t at = sizeof(TBlkLine); at + sizeof(TBlkLine) <= FLinCache.size(); at += sizeof(TBlkLine)) {
            TBlkLine l;
            std::memcpy(static_cast<void*>(&l), FLinCache.data() + at, sizeof l);
            FLinCache.Touched(at, sizeof l);
            used = std::max<std::int64_t>(used, std::max<std::int64_t>(l.FirstCrd, l.LastCrd) + 1);
        }
        FLinCache.Release();
        FCrdFileSize = StreamSize(CrdStream);
        LoadCache(CrdStream, FCrdCache, used * std::int64_t(sizeof(TBlkCrd)));
    } catch (...) {
        DropReadCache();
        throw;
    }
    FReadCache = true;
}

}  // namespace vexa
