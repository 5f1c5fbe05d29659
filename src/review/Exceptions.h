#pragma once
// Exceptions ("nie je chyba"): findings the user judged not to be errors, kept in the
// map directory in the dBASE table Vynimky.DBF (code page 1250), one row each. A row
// names the finding (block, layer, group, kind, number, code, text), holds the
// fingerprint of the element as it was when excepted, the reason, the user and the date.
//
// Every change reads, changes and rewrites the table under one lock (a flock on
// .vexa/vynimky.lock in the map directory); the new table is built beside the old one
// and renamed over it, so two programs changing exceptions at once keep both changes or
// one is refused, and a table is never torn. A table that cannot be read is never
// rewritten.
#include "dbase/FieldTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa::review {

inline constexpr const char* kExceptionsFileName = "Vynimky.DBF";

// The identity of a finding: block, group letter, element number, code, kind and, for a
// finding of an attribute table, the table's file name.
std::string FindingKey(const std::string& block, const std::string& group, std::optional<std::int32_t> number,
                       std::int32_t code, std::optional<std::int32_t> kind, const std::string& table = "");

// The attribute table a table finding's record names in its text ("DB l0001.dbf
// neexistuje"); "" for the others.
std::string TableOfText(const std::string& text);

struct TReviewException {
    std::string Block;
    std::optional<std::string> Layer;
    std::string Group;  // "L", "B", "T", "P"
    std::optional<std::int32_t> Kind;
    std::optional<std::int32_t> Number;
    std::int32_t Code = 0;
    std::string Text;
    std::string Table{};      // a table finding's attribute table ("" for an element's)
    std::string Fingerprint;  // of the element when excepted (ElementFingerprint)
    std::string Reason;
    std::string User;
    TDate Date;
    std::string Key() const { return FindingKey(Block, Group, Number, Code, Kind, Table); }
};

// The table's columns, in order. A table of an earlier version lacks the last, Tabulka;
// it reads as well (its table findings' tables taken from their texts where they name one).
TFldDefList ExceptionFields();

// The path of the map directory's table (an existing name of another case is taken).
std::string ExceptionsPath(const std::string& mapDir);

// The exceptions of a map; none when it has no table. Raises vexa::Exception naming the
// file when the table is damaged or foreign (its columns are not these).
std::vector<TReviewException> LoadExceptions(const std::string& mapDir);

// Adds an exception, replacing one of the same finding; raises when the table cannot be
// read (it then stays as it is), when another program keeps it locked longer than a few
// seconds, or when the new table cannot be written (the old one stays).
void AddException(const std::string& mapDir, const TReviewException& exception);

// Adds many exceptions in one rewrite of the table (each replacing one of the same
// finding; of two of one finding in the list the later stays); raises as AddException,
// and nothing is written then.
void AddExceptions(const std::string& mapDir, const std::vector<TReviewException>& exceptions);

// Removes the exception of the finding key; false when there is none.
bool RemoveException(const std::string& mapDir, const std::string& key);
// Removes the exceptions of these finding keys in one rewrite; the number removed (the
// table is not written when none was there).
std::size_t RemoveExceptions(const std::string& mapDir, const std::vector<std::string>& keys);

// "<block> <group>:<number> kód <code>" ("-" for no number): a finding in messages.
std::string FindingText(const std::string& block, const std::string& group, std::optional<std::int32_t> number,
                        std::int32_t code);

class TFingerprints;

// An exception of the finding as the element of mapDir is now: its fingerprint, the user's
// login name and today's date. Raises vexa::Exception when the element no longer exists.
// Exceptions of many findings take their fingerprints through one TFingerprints (each
// block then read once for its elements).
TReviewException MakeException(const std::string& mapDir, const std::string& block, std::optional<std::string> layer,
                               const std::string& group, std::optional<std::int32_t> kind,
                               std::optional<std::int32_t> number, std::int32_t code, const std::string& text,
                               const std::string& reason, TFingerprints* fingerprints = nullptr);

// A numeric field's value as a whole number; nothing for a blank (null) or other field.
std::optional<std::int32_t> IntegerOf(const TValue& value);

// The login name of the user of this process.
std::string LoginName();
// Today's local date.
TDate Today();

}  // namespace vexa::review
