#pragma once
// Plumbing under TTableDBF: the one place where table bytes are written (so
// write failures are counted and can be injected in tests), language driver
// bytes, and the text of field values.
#include "dbase/FieldTypes.h"

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vexa::dbfio {

// --- writing ---------------------------------------------------------------

// Writes size bytes at offset (pwrite until done). False on failure, which is
// also counted and remembered for IoFailureCount / LastLibraryMessage.
bool WriteAt(int fd, const void* data, std::size_t size, off_t offset);

// Number of failed writes so far on this thread, and the last failure's
// message. A caller compares the count before and
// after a piece of work.
long long IoFailureCount();
std::string LastLibraryMessage();

// When the last failed write of this thread met a full disk (or a full quota): what
// failed, in Slovak, with the system's text as detail ("<what>, disk je plný (<text>).");
// otherwise empty.
std::string FullDiskMessage(const std::string& what);

// Test seam: after `bytes` more bytes have been written through the hooks,
// every further write fails. Negative disarms it.
void InjectWriteFailureAfter(long long bytes);
// The same, the failure being a full disk.
void InjectFullDiskAfter(long long bytes);

// --- language driver -------------------------------------------------------

// Windows code page of a header language driver byte; 1250 for 0 and for
// bytes this system does not know (the maps are Slovak).
int CodePageOfLanguageDriver(int ldid);
// Language driver byte of a code page; nothing when there is none.
std::optional<int> LanguageDriverOfCodePage(int codePage);

// --- field values ----------------------------------------------------------

// A field as it is laid out in a record.
struct FieldLayout {
    std::string Name;   // UTF-8
    char Native = 'C';  // dBASE type letter
    int Width = 0;
    int Decimals = 0;
    int Offset = 0;                              // in the record, after the deletion flag byte
    std::string RawName;                         // the name's bytes as stored (up to 11, no NUL)
    unsigned char Flags = 0;                     // Visual FoxPro field flags (0x02 nullable, 0x04 binary)
    std::array<unsigned char, 32> Descriptor{};  // the field's header entry as stored
};

// Value of a field from its raw bytes (exactly Width bytes). Blank fields
// are null; so are fields of types other than C, N, F, L, D.
TValue DecodeField(const char* raw, const FieldLayout& field, int codePage);

// Number text of width characters (right-aligned) with decimals digits,
// rounded half away from zero; nothing when it does not fit or is not finite.
std::optional<std::string> FormatNumber(double value, int width, int decimals);

// How a value of one type is carried into a field of another.
enum class ConvertMode {
    Lenient,  // values that cannot be carried become null (restructure)
    Strict    // they raise (appending a record)
};

// Field text for a value (code page bytes, not padded except numbers);
// empty text writes a blank (null) field. sourceDecimals formats numbers
// turned into text (-1: shortest form). In strict mode an impossible
// conversion raises EDbfException naming the field.
std::string EncodeField(const TValue& value, const FieldLayout& field, int codePage, ConvertMode mode,
                        int sourceDecimals = -1);

// Cuts a UTF-8 name to at most max characters.
std::string CutName(const std::string& name, std::size_t max = 10);

}  // namespace vexa::dbfio
