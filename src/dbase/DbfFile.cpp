#include "dbase/DbfFile.h"

#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/DbfExceptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace vexa::dbfio {

namespace fs = std::filesystem;

namespace {

std::uint32_t U16(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(const std::string& b, std::size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

std::uint32_t U32BigEndian(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

void PutU16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
    PutU16(b, at, v & 0xFFFF);
    PutU16(b, at + 2, v >> 16);
}

// Version bytes of the dBASE, FoxPro and Visual FoxPro tables read here.
bool KnownVersion(unsigned char v) {
    switch (v) {
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0x8E:
    case 0xCB:
    case 0xF5:
    case 0xFB: return true;
    default: return false;
    }
}

std::uintmax_t SumOfWidths(const std::vector<FieldLayout>& fields) {
    std::uintmax_t sum = 0;
    for (const FieldLayout& f : fields) sum += static_cast<std::uintmax_t>(f.Width);
    return sum;
}

}  // namespace

bool DbfHeader::HasNullFlags() const {
    for (const FieldLayout& f : Fields)
        if (f.Native == '0' || SameTextAscii(f.RawName, "_NullFlags")) return true;
    return false;
}

std::uint32_t HeaderLengthOf(const std::string& first12) { return first12.size() >= 12 ? U16(first12, 8) : 0; }

DbfHeader ParseHeader(const std::string& bytes, std::uintmax_t fileSize, const std::string& path) {
    if (bytes.size() < 32 || fileSize < 32) throw EDbfEngineError("Súbor nie je tabuľka dBASE (príliš krátky).", path);
    DbfHeader h;
    h.Prefix = bytes.substr(0, 32);
    if (!KnownVersion(h.Version()))
        throw EDbfEngineError(Format("Súbor nie je tabuľka dBASE, ktorú Vexa pozná (verzia 0x%02X).", h.Version()),
                              path);
    h.RecordCount = U32(bytes, 4);
    h.HeaderLength = U16(bytes, 8);
    h.RecordLength = U16(bytes, 10);
    if (h.HeaderLength < 33 || h.RecordLength < 1 || h.HeaderLength > bytes.size())
        throw EDbfEngineError("Hlavička tabuľky dBASE je poškodená.", path);
    const int codePage = CodePageOfLanguageDriver(h.LanguageDriver());

    std::size_t pos = 32;
    while (pos + 32 <= h.HeaderLength && static_cast<unsigned char>(bytes[pos]) != 0x0D) {
        FieldLayout f;
        std::memcpy(f.Descriptor.data(), bytes.data() + pos, 32);
        std::size_t nameLength = 0;
        while (nameLength < 11 && f.Descriptor[nameLength] != 0) ++nameLength;
        f.RawName.assign(bytes.data() + pos, nameLength);
        f.Name = ToUtf8(f.RawName, codePage);
        f.Native = static_cast<char>(f.Descriptor[11]);
        f.Width = f.Descriptor[16];
        f.Decimals = f.Descriptor[17];
        f.Flags = f.Descriptor[18];
        h.Fields.push_back(std::move(f));
        pos += 32;
    }
    if (pos < h.HeaderLength && static_cast<unsigned char>(bytes[pos]) == 0x0D) {
        h.Tail = bytes.substr(pos + 1, h.HeaderLength - pos - 1);
    } else if (pos == h.HeaderLength) {
        h.Terminated = false;  // descriptors fill the header exactly
    } else {
        throw EDbfEngineError("Hlavička tabuľky dBASE je poškodená (zoznam polí nie je ukončený).", path);
    }

    // The widths as stored must add up to the record length; where they do
    // not, character fields may carry the width's high byte in the decimals
    // byte. A table that fits neither reading is not read at all.
    std::uintmax_t plain = SumOfWidths(h.Fields) + 1;
    if (plain != h.RecordLength) {
        std::vector<FieldLayout> wide = h.Fields;
        for (FieldLayout& f : wide)
            if (f.Native == 'C') {
                f.Width += 256 * f.Decimals;
                f.Decimals = 0;
            }
        if (SumOfWidths(wide) + 1 != h.RecordLength)
            throw EDbfEngineError(Format("Polia tabuľky dBASE nesúhlasia s dĺžkou záznamu (%ju bajtov polí, "
                                         "záznam %u bajtov).",
                                         plain, h.RecordLength),
                                  path);
        h.Fields = std::move(wide);
    }
    // Only N and F fields have decimals; the byte of the others is kept in the descriptor.
    for (FieldLayout& f : h.Fields)
        if (!HasDecimals(f.Native)) f.Decimals = 0;
    int offset = 1;
    for (FieldLayout& f : h.Fields) {
        f.Offset = offset;
        offset += f.Width;
    }
    if (fileSize < static_cast<std::uintmax_t>(h.HeaderLength) +
                       static_cast<std::uintmax_t>(h.RecordCount) * static_cast<std::uintmax_t>(h.RecordLength))
        throw EDbfEngineError("The table file is shorter than its header says.", path);
    return h;
}

std::string BuildHeader(const DbfHeader& header) {
    std::string out = header.Prefix;
    out.resize(32, '\0');
    std::uint32_t recordLength = 1;
    for (const FieldLayout& f : header.Fields) recordLength += static_cast<std::uint32_t>(f.Width);
    for (const FieldLayout& f : header.Fields) {
        std::string d(reinterpret_cast<const char*>(f.Descriptor.data()), 32);
        std::fill(d.begin(), d.begin() + 11, '\0');
        std::memcpy(d.data(), f.RawName.data(), std::min<std::size_t>(f.RawName.size(), 11));
        d[11] = f.Native;
        if (f.Native == 'C' && f.Width > 255) {
            d[16] = static_cast<char>(f.Width & 0xFF);
            d[17] = static_cast<char>(f.Width >> 8);
        } else {
            d[16] = static_cast<char>(f.Width);
            // Only N and F fields have decimals; the byte of other types is
            // kept as stored (Visual FoxPro keeps flags there for B and Y).
            if (HasDecimals(f.Native)) d[17] = static_cast<char>(f.Decimals);
        }
        out += d;
    }
    if (header.Terminated) out += '\x0D';
    out += header.Tail;
    PutU32(out, 4, header.RecordCount);
    PutU16(out, 8, static_cast<std::uint32_t>(out.size()));
    PutU16(out, 10, recordLength);
    return out;
}

void StampDate(std::string& prefix) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    prefix[1] = static_cast<char>(tm.tm_year % 256);
    prefix[2] = static_cast<char>(tm.tm_mon + 1);
    prefix[3] = static_cast<char>(tm.tm_mday);
}

// ----------------------------------------------------------------------------

DbfFile::DbfFile(const std::string& path, bool writable) : FPath(path) {
    FFd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (FFd < 0) throw EDbfEngineError(std::string("Tabuľku nemožno otvoriť: ") + std::strerror(errno) + ".", path);
    try {
        struct stat st {};
        if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) throw EDbfEngineError("Súbor nie je tabuľka dBASE.", path);
        std::string first(32, '\0');
        if (::pread(FFd, first.data(), 32, 0) != 32)
            throw EDbfEngineError("Súbor nie je tabuľka dBASE (príliš krátky).", path);
        const std::uint32_t headerLength = std::max<std::uint32_t>(HeaderLengthOf(first), 32);
        if (static_cast<std::uintmax_t>(st.st_size) < headerLength)
            throw EDbfEngineError("The table file is shorter than its header says.", path);
        std::string bytes(headerLength, '\0');
        if (::pread(FFd, bytes.data(), headerLength, 0) != static_cast<ssize_t>(headerLength))
            throw EDbfEngineError("Hlavičku tabuľky nemožno prečítať.", path);
        FHeader = ParseHeader(bytes, static_cast<std::uintmax_t>(st.st_size), path);
        const off_t end = static_cast<off_t>(FHeader.HeaderLength) +
                          static_cast<off_t>(FHeader.RecordCount) * static_cast<off_t>(FHeader.RecordLength);
        char marker = 0;
        FHeader.EndMarker = st.st_size > end && ::pread(FFd, &marker, 1, end) == 1 && marker == 0x1A;
        FCodePage = CodePageOfLanguageDriver(FHeader.LanguageDriver());
    } catch (...) {
        ::close(FFd);
        throw;
    }
}

DbfFile::~DbfFile() {
    if (FFd >= 0) ::close(FFd);
    if (FMemoFd >= 0) ::close(FMemoFd);
}

const char* DbfFile::Record(std::uint32_t index) {
    if (index >= FHeader.RecordCount) throw EDbfEngineError(Format("Cannot read record %u.", index + 1), FPath);
    const std::size_t length = FHeader.RecordLength;
    if (index < FBufferFirst || index >= FBufferFirst + FBufferCount) {
        const std::uint32_t count =
            std::min<std::uint32_t>(FHeader.RecordCount - index, std::max<std::uint32_t>(1, (1u << 18) / length));
        FBuffer.resize(static_cast<std::size_t>(count) * length);
        const off_t at =
            static_cast<off_t>(FHeader.HeaderLength) + static_cast<off_t>(index) * static_cast<off_t>(length);
        std::size_t got = 0;
        while (got < FBuffer.size()) {
            ssize_t n = ::pread(FFd, FBuffer.data() + got, FBuffer.size() - got, at + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got < length) {
            FBufferCount = 0;
            throw EDbfEngineError(Format("Cannot read record %u.", index + 1), FPath);
        }
        FBufferFirst = index;
        FBufferCount = static_cast<std::uint32_t>(got / length);
    }
    return FBuffer.data() + static_cast<std::size_t>(index - FBufferFirst) * length;
}

bool DbfFile::WriteRecord(std::uint32_t index, const std::string& bytes) {
    FBufferCount = 0;
    const off_t at =
        static_cast<off_t>(FHeader.HeaderLength) + static_cast<off_t>(index) * static_cast<off_t>(FHeader.RecordLength);
    return bytes.size() == FHeader.RecordLength && WriteAt(FFd, bytes.data(), bytes.size(), at);
}

bool DbfFile::MarkDeleted(std::uint32_t index) {
    if (index >= FHeader.RecordCount) return false;
    const off_t at =
        static_cast<off_t>(FHeader.HeaderLength) + static_cast<off_t>(index) * static_cast<off_t>(FHeader.RecordLength);
    const char flag = '*';
    if (!WriteAt(FFd, &flag, 1, at)) {
        FBufferCount = 0;
        return false;
    }
    if (index >= FBufferFirst && index < FBufferFirst + FBufferCount)
        FBuffer[static_cast<std::size_t>(index - FBufferFirst) * FHeader.RecordLength] = flag;
    return true;
}

bool DbfFile::AppendRecords(const std::string& bytes) {
    const std::size_t length = FHeader.RecordLength;
    if (length == 0 || bytes.empty() || bytes.size() % length != 0) return false;
    const std::uint64_t count = FHeader.RecordCount + bytes.size() / length;
    if (count > UINT32_MAX) return false;
    const std::uint32_t index = FHeader.RecordCount;
    std::string withEnd = bytes + '\x1A';
    const off_t at =
        static_cast<off_t>(FHeader.HeaderLength) + static_cast<off_t>(index) * static_cast<off_t>(FHeader.RecordLength);
    FBufferCount = 0;
    if (!WriteAt(FFd, withEnd.data(), withEnd.size(), at)) return false;
    std::string counted(4, '\0');
    PutU32(counted, 0, static_cast<std::uint32_t>(count));
    if (!WriteAt(FFd, counted.data(), 4, 4)) return false;
    FHeader.RecordCount = static_cast<std::uint32_t>(count);
    PutU32(FHeader.Prefix, 4, FHeader.RecordCount);
    return true;
}

bool DbfFile::WriteHeaderDate() {
    StampDate(FHeader.Prefix);
    return WriteAt(FFd, FHeader.Prefix.data() + 1, 3, 1);
}

// --- memo texts --------------------------------------------------------------

TValue DbfFile::MemoValue(const FieldLayout& field, const char* raw) {
    if (field.Native != 'M') return std::monostate{};
    // The block number: four binary bytes in Visual FoxPro, ten digits elsewhere.
    std::uint64_t block = 0;
    if (field.Width == 4) {
        block = static_cast<unsigned char>(raw[0]) | (static_cast<unsigned char>(raw[1]) << 8) |
                (static_cast<unsigned char>(raw[2]) << 16) | (std::uint64_t(static_cast<unsigned char>(raw[3])) << 24);
    } else {
        std::string digits = Trim(std::string(raw, static_cast<std::size_t>(field.Width)));
        auto n = TextToInt(digits);
        if (!n || *n <= 0) return std::monostate{};
        block = static_cast<std::uint64_t>(*n);
    }
    if (block == 0) return std::monostate{};
    // The memo file is found, opened and its header read once, on first use.
    if (!FMemoLooked) {
        FMemoLooked = true;
        const bool fox = FHeader.IsVisualFoxPro() || FHeader.Version() == 0xF5;
        const std::string memo = ChangeFileExt(FPath, fox ? ".fpt" : ".dbt");
        const std::string dir = ExtractFilePath(memo);
        auto found = FindEntryIgnoreCase(dir.empty() ? fs::path(".") : fs::path(dir), ExtractFileName(memo));
        struct stat st {};
        unsigned char head[32] = {};
        if (found) FMemoFd = ::open(found->c_str(), O_RDONLY | O_CLOEXEC);
        if (FMemoFd >= 0 && ::fstat(FMemoFd, &st) == 0 && ::pread(FMemoFd, head, sizeof head, 0) >= 8) {
            FMemoSize = static_cast<std::uint64_t>(st.st_size);
            FMemoIsFpt = SameTextAscii(ExtractFileExt(found->string()), ".fpt");
            FMemoBlockSize = 512;
            if (FMemoIsFpt) {
                FMemoBlockSize = (std::uint64_t(head[6]) << 8) | head[7];
            } else if (FHeader.Version() != 0x83) {
                const std::uint64_t stored = head[20] | (std::uint64_t(head[21]) << 8);
                if (stored != 0) FMemoBlockSize = stored;
            }
        }
    }
    if (FMemoFd < 0 || FMemoBlockSize == 0) return std::monostate{};
    const int fd = FMemoFd;
    const std::uint64_t size = FMemoSize;
    const std::uint64_t blockSize = FMemoBlockSize;
    const bool fpt = FMemoIsFpt;
    const std::uint64_t at = block * blockSize;
    if (at >= size) return std::monostate{};
    std::string text;
    if (fpt) {
        unsigned char entry[8];
        if (::pread(fd, entry, 8, static_cast<off_t>(at)) != 8) return std::monostate{};
        const std::uint32_t type = U32BigEndian(entry);
        const std::uint64_t length = U32BigEndian(entry + 4);
        if (type != 1 || at + 8 + length > size) return std::monostate{};
        text.resize(static_cast<std::size_t>(length));
        if (length && ::pread(fd, text.data(), text.size(), static_cast<off_t>(at + 8)) != static_cast<ssize_t>(length))
            return std::monostate{};
    } else {
        unsigned char entry[8] = {};
        ::pread(fd, entry, 8, static_cast<off_t>(at));
        if (entry[0] == 0xFF && entry[1] == 0xFF && entry[2] == 0x08 && entry[3] == 0x00) {
            // dBASE IV: the entry's length counts its own eight bytes.
            std::uint64_t length = entry[4] | (std::uint64_t(entry[5]) << 8) | (std::uint64_t(entry[6]) << 16) |
                                   (std::uint64_t(entry[7]) << 24);
            if (length < 8 || at + length > size) return std::monostate{};
            text.resize(static_cast<std::size_t>(length - 8));
            if (!text.empty() &&
                ::pread(fd, text.data(), text.size(), static_cast<off_t>(at + 8)) != static_cast<ssize_t>(text.size()))
                return std::monostate{};
        } else {
            // dBASE III: the text runs to an end-of-file byte.
            char chunk[4096];
            std::uint64_t pos = at;
            bool ended = false;
            while (!ended && pos < size) {
                ssize_t n = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(pos));
                if (n <= 0) break;
                const char* end = static_cast<const char*>(std::memchr(chunk, 0x1A, static_cast<std::size_t>(n)));
                std::size_t take = end ? static_cast<std::size_t>(end - chunk) : static_cast<std::size_t>(n);
                text.append(chunk, take);
                ended = end != nullptr;
                pos += static_cast<std::uint64_t>(n);
            }
        }
    }
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    if (text.empty()) return std::monostate{};
    return ToUtf8(text, FCodePage);
}

}  // namespace vexa::dbfio
