#include "access/JetImport.h"

#include "common/Text.h"
#include "access/AccessSql.h"
#include "access/AccessDb.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace vexa {

namespace {

// ---- header page ------------------------------------------------------------------

// RC4 keystream: the mask that Jet 4 lays over bytes 0x18..0x97 of its header page.
std::array<unsigned char, 128> HeaderMask() {
    const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::array<unsigned char, 128> out{};
    for (int n = 0, i = 0, j = 0; n < 128; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[static_cast<std::size_t>(n)] = s[(s[i] + s[j]) & 0xFF];
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

// ---- libmdb handles ---------------------------------------------------------------

struct TMdb {
    MdbHandle* H = nullptr;
    explicit TMdb(const std::string& path) {
        H = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!H) throw EAccessDbError("Cannot open the Access database.\r(" + path + ")");
        if (!mdb_read_catalog(H, MDB_ANY)) {
            mdb_close(H);
            H = nullptr;
            throw EAccessDbError("Cannot read the catalog of the Access database.\r(" + path + ")");
        }
    }
    ~TMdb() {
        if (H) mdb_close(H);
    }
    TMdb(const TMdb&) = delete;
    TMdb& operator=(const TMdb&) = delete;
};

struct TMdbTable {
    MdbTableDef* T = nullptr;
    explicit TMdbTable(MdbCatalogEntry* entry) {
        const std::string name = entry && entry->object_name[0] ? entry->object_name : "?";
        T = entry ? mdb_read_table(entry) : nullptr;
        if (!T) throw EAccessDbError("Tabuľka " + name + " sa nedá prečítať.");
        // Every column must be there: a damaged definition reads as missing columns.
        if (!mdb_read_columns(T) || !T->columns || T->columns->len != T->num_cols || T->num_cols > MDB_MAX_COLS) {
            mdb_free_tabledef(T);
            T = nullptr;
            throw EAccessDbError("Stĺpce tabuľky " + name + " sa nedajú prečítať.");
        }
        for (unsigned i = 0; i < T->num_cols; ++i)
            if (!Column(i)) {
                mdb_free_tabledef(T);
                T = nullptr;
                throw EAccessDbError("Stĺpce tabuľky " + name + " sa nedajú prečítať.");
            }
        mdb_rewind_table(T);  // only resets the position: nothing to check
    }
    ~TMdbTable() {
        if (T) mdb_free_tabledef(T);
    }
    TMdbTable(const TMdbTable&) = delete;
    TMdbTable& operator=(const TMdbTable&) = delete;
    MdbColumn* Column(unsigned i) const { return static_cast<MdbColumn*>(g_ptr_array_index(T->columns, i)); }
};

std::string TakeGString(char* s) {
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

std::string DateText(double value) {
    struct tm t {};
    mdb_date_to_tm(value, &t);
    std::string out = Format("%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    if (t.tm_hour || t.tm_min || t.tm_sec) out += Format(" %02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return out;
}

// The value of one field of the current row, read raw from the page.
// The bytes a fixed-size value of the type takes on the page; 0 for variable sizes.
int FixedSize(int type) {
    switch (type) {
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT: return 4;
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_DATETIME: return 8;
    case MDB_NUMERIC: return 17;
    case MDB_REPID: return 16;
    default: return 0;
    }
}

TDbValue FieldValue(MdbHandle* mdb, MdbColumn* col, const MdbField& f) {
    if (!col) throw EAccessDbError("Stĺpec sa nedá prečítať.");
    if (col->col_type == MDB_BOOL) return TDbValue(f.is_null ? 0 : -1);  // kept in the null bit
    if (f.is_null) return TDbValue();
    void* buf = mdb->pg_buf;
    const int start = f.start;
    // The value must lie on the page: a damaged row points anywhere.
    const std::int64_t pageSize = mdb->fmt ? std::int64_t(mdb->fmt->pg_size) : 0;
    const std::int64_t need = std::max<std::int64_t>(FixedSize(col->col_type), f.siz);
    if (start < 0 || f.siz < 0 || std::int64_t(start) + need > pageSize)
        throw EAccessDbError(std::string("Hodnota stĺpca ") + col->name + " leží mimo stránky.");
    switch (col->col_type) {
    case MDB_BYTE: return TDbValue(static_cast<std::int64_t>(mdb_get_byte(buf, start)));
    case MDB_INT: return TDbValue(static_cast<std::int64_t>(static_cast<std::int16_t>(mdb_get_int16(buf, start))));
    case MDB_LONGINT: return TDbValue(static_cast<std::int64_t>(static_cast<std::int32_t>(mdb_get_int32(buf, start))));
    case MDB_FLOAT: return TDbValue(static_cast<double>(mdb_get_single(buf, start)));
    case MDB_DOUBLE: return TDbValue(mdb_get_double(buf, start));
    case MDB_MONEY: {
        auto text = TakeGString(mdb_money_to_string(mdb, start));
        auto v = TextToFloat(Trim(text));
        return v ? TDbValue(*v) : TDbValue(text);
    }
    case MDB_NUMERIC: {
        auto text = TakeGString(mdb_numeric_to_string(mdb, start, col->col_scale, col->col_prec));
        auto v = TextToFloat(Trim(text));
        return v ? TDbValue(*v) : TDbValue(text);
    }
    case MDB_DATETIME: return TDbValue(DateText(mdb_get_double(buf, start)));
    case MDB_TEXT:
    case MDB_MEMO:
        if (f.siz == 0 && col->col_type == MDB_TEXT) return TDbValue(std::string());
        if (col->col_type == MDB_MEMO && f.siz < MDB_MEMO_OVERHEAD) return TDbValue(std::string());
        return TDbValue(TakeGString(mdb_col_to_string(mdb, buf, start, col->col_type, f.siz)));
    case MDB_REPID: return TDbValue(TakeGString(mdb_uuid_to_string(buf, start)));
    case MDB_BINARY:
        return TDbValue(TBlob{std::string(static_cast<const char*>(buf) + start, static_cast<std::size_t>(f.siz))});
    case MDB_OLE: {
        // The reader takes the value's 12-byte header from the column's bind buffer
        // and reads the chunks into it.
        if (f.siz < MDB_MEMO_OVERHEAD) return TDbValue(TBlob{});
        std::vector<char> chunk(std::max<std::size_t>(mdb->bind_size, MDB_BIND_SIZE) + MDB_MEMO_OVERHEAD);
        std::memcpy(chunk.data(), static_cast<const char*>(buf) + start, MDB_MEMO_OVERHEAD);
        void* bound = col->bind_ptr;
        col->bind_ptr = chunk.data();
        col->cur_value_start = start;
        col->cur_value_len = f.siz;
        std::size_t size = 0;
        void* data = mdb_ole_read_full(mdb, col, &size);
        col->bind_ptr = bound;
        TBlob blob{data ? std::string(static_cast<const char*>(data), size) : std::string()};
        g_free(data);
        return TDbValue(blob);
    }
    default: return TDbValue();
    }
}

// Walks a table's rows; fn receives the values in column order (only the columns
// listed in wanted, when it is not empty; the others are null).
template <typename Fn>
void ForEachRow(MdbHandle* mdb, TMdbTable& table, Fn fn, const std::vector<int>& wanted = {}) {
    std::vector<MdbField> fields(MDB_MAX_COLS);
    while (mdb_fetch_row(table.T)) {
        int start = 0;
        size_t len = 0;
        if (mdb_find_row(mdb, static_cast<int>(table.T->cur_row) - 1, &start, &len) != 0) continue;
        start &= 0x1FFF;  // the offset without the row's lookup and delete flags
        if (table.T->num_cols > fields.size()) throw EAccessDbError("Riadok sa nedá prečítať.");
        for (MdbField& f : fields) f = MdbField{};
        if (mdb_crack_row(table.T, start, len, fields.data()) <= 0 && table.T->num_cols > 0)
            throw EAccessDbError("Riadok sa nedá prečítať.");
        TDbRow row;
        for (unsigned i = 0; i < table.T->num_cols; ++i) {
            const bool read =
                wanted.empty() || std::find(wanted.begin(), wanted.end(), static_cast<int>(i)) != wanted.end();
            row.push_back(read ? FieldValue(mdb, table.Column(i), fields[i]) : TDbValue());
        }
        fn(row);
    }
}

const char* SqliteType(int mdbType) {
    switch (mdbType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT: return "INTEGER";
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC: return "REAL";
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: return "TEXT COLLATE NOCASE";
    case MDB_DATETIME: return "TEXT";
    default: return "BLOB";
    }
}

// ---- SQLite output ----------------------------------------------------------------

struct TSqliteOut {
    sqlite3* Db = nullptr;
    explicit TSqliteOut(const std::string& path) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (sqlite3_open_v2(path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            std::string m = Db ? sqlite3_errmsg(Db) : "out of memory";
            sqlite3_close(Db);
            Db = nullptr;
            throw EAccessDbError(m + "\r(" + path + ")");
        }
    }
    ~TSqliteOut() {
        if (Db) sqlite3_close(Db);
    }
    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(Db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : "SQL error";
            sqlite3_free(err);
            throw EAccessDbError(m);
        }
    }
};

struct TInsert {
    sqlite3_stmt* Stmt = nullptr;
    sqlite3* Db;
    TInsert(sqlite3* db, const std::string& sql) : Db(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &Stmt, nullptr) != SQLITE_OK)
            throw EAccessDbError(sqlite3_errmsg(db));
    }
    ~TInsert() { sqlite3_finalize(Stmt); }
    void Run(const TDbRow& row) {
        sqlite3_reset(Stmt);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int idx = static_cast<int>(i) + 1;
            const auto& d = row[i].Data();
            if (const auto* n = std::get_if<std::int64_t>(&d))
                sqlite3_bind_int64(Stmt, idx, *n);
            else if (const auto* f = std::get_if<double>(&d))
                sqlite3_bind_double(Stmt, idx, *f);
            else if (const auto* s = std::get_if<std::string>(&d))
                sqlite3_bind_text(Stmt, idx, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
            else if (const auto* b = std::get_if<TBlob>(&d))
                sqlite3_bind_blob(Stmt, idx, b->Bytes.data(), static_cast<int>(b->Bytes.size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(Stmt, idx);
        }
        if (sqlite3_step(Stmt) != SQLITE_DONE) throw EAccessDbError(sqlite3_errmsg(Db));
    }
};

// ---- saved queries ----------------------------------------------------------------

struct TQueryRow {
    int Attribute = 0;
    std::uint32_t Order = 0;
    std::string Name1, Name2, Expression;
    bool HasName1 = false, HasName2 = false, HasExpression = false;
    int Flag = 0;
};

std::string Bracket(const std::string& name) {
    bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '_' || c >= 0x80)) plain = false;
    return plain ? name : "[" + name + "]";
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
    return out;
}

// The type of a declared parameter as Access writes it (the Flag of its row).
std::string ParameterType(int flag) {
    switch (flag) {
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text ( 255 )";
    case 11: return "LongBinary";
    case 12: return "LongText";
    case 15: return "Guid";
    default: return "Value";
    }
}

const char* QueryKind(int type) {
    switch (type) {
    case 2: return "make-table";
    case 3: return "append";
    case 4: return "update";
    case 5: return "delete";
    case 6: return "crosstab";
    case 7: return "data-definition";
    case 8: return "pass-through";
    case 9: return "union";
    default: return "select";
    }
}

// The FROM list: the tables, then each join nesting the fragments that hold its two
// tables, in the order stored. Rows joining the same two tables are one join whose
// conditions are ANDed; a join between tables already nested together adds its
// condition to the join that holds them.
std::string FromList(const std::vector<std::pair<std::string, std::string>>& tables,
                     const std::vector<const TQueryRow*>& joinRows) {
    struct TJoin {
        std::string Left, Right;
        int Flag;
        std::vector<std::string> Conditions;
    };
    std::vector<TJoin> joins;
    for (const TQueryRow* r : joinRows) {
        auto same = std::find_if(joins.begin(), joins.end(), [&](const TJoin& j) {
            return (SameTextAscii(j.Left, r->Name1) && SameTextAscii(j.Right, r->Name2)) ||
                   (SameTextAscii(j.Left, r->Name2) && SameTextAscii(j.Right, r->Name1));
        });
        if (same != joins.end())
            same->Conditions.push_back(r->Expression);
        else
            joins.push_back({r->Name1, r->Name2, r->Flag, {r->Expression}});
    }
    std::vector<std::string> fragments;
    std::vector<std::vector<std::string>> members;  // names and aliases each fragment holds
    for (const auto& [name, alias] : tables) {
        fragments.push_back(Bracket(name) + (alias.empty() ? "" : " AS " + Bracket(alias)));
        members.push_back({UpperAscii(alias.empty() ? name : alias)});
    }
    auto find = [&](const std::string& name) -> int {
        for (std::size_t i = 0; i < members.size(); ++i)
            for (const auto& m : members[i])
                if (m == UpperAscii(name)) return static_cast<int>(i);
        return -1;
    };
    for (const TJoin& j : joins) {
        std::string on;
        for (const auto& c : j.Conditions)
            on += (on.empty() ? "" : " AND ") + (j.Conditions.size() > 1 ? "(" + c + ")" : c);
        const int a = find(j.Left), b = find(j.Right);
        if (a < 0 || b < 0)
            throw EAccessDbError("A join names a table the query does not use: " + j.Left + ", " + j.Right + ".");
        auto& fa = fragments[static_cast<std::size_t>(a)];
        if (a == b) {
            if (fa.size() < 2 || fa.back() != ')')
                throw EAccessDbError("A join joins a table with itself: " + j.Left + ".");
            fa.insert(fa.size() - 1, " AND (" + on + ")");
            continue;
        }
        const char* kind = j.Flag == 2 ? " LEFT JOIN " : j.Flag == 3 ? " RIGHT JOIN " : " INNER JOIN ";
        fa = "(" + fa + kind + fragments[static_cast<std::size_t>(b)] + " ON " + on + ")";
        members[static_cast<std::size_t>(a)].insert(members[static_cast<std::size_t>(a)].end(),
                                                    members[static_cast<std::size_t>(b)].begin(),
                                                    members[static_cast<std::size_t>(b)].end());
        fragments.erase(fragments.begin() + b);
        members.erase(members.begin() + b);
    }
    for (auto& f : fragments)  // a join standing alone in the list needs no brackets
        if (f.size() > 1 && f.front() == '(' && f.back() == ')') f = f.substr(1, f.size() - 2);
    return Join(fragments, ", ");
}

// Rebuilds the Access SQL of one query from its MSysQueries rows (sorted by attribute, order).
TSavedQuery BuildQuerySql(const std::vector<TQueryRow>& rows) {
    int type = 1, selectFlags = 0;
    std::string target;                                       // append and make-table
    std::string statement;                                    // data-definition and pass-through: the text itself
    std::vector<std::pair<std::string, std::string>> tables;  // name, alias
    std::vector<std::string> unionParts;
    std::vector<const TQueryRow*> columns, joins;
    std::string where, having;
    std::vector<const TQueryRow*> groupBy;
    std::vector<std::string> orderBy, parameters;
    for (const auto& r : rows) {
        switch (r.Attribute) {
        case 1:
            type = r.Flag;
            if (r.HasName1) target = r.Name1;
            statement = r.Expression;
            break;
        case 2: parameters.push_back(Bracket(r.Name1) + " " + ParameterType(r.Flag)); break;
        case 3: selectFlags = r.Flag; break;
        case 5:
            if (!r.HasName1 && r.Name2.rfind("X7YZ_____", 0) == 0)
                unionParts.push_back(r.Expression);
            else
                tables.emplace_back(r.Name1, r.HasName2 ? r.Name2 : "");
            break;
        case 6: columns.push_back(&r); break;
        case 7: joins.push_back(&r); break;
        case 8: where = r.Expression; break;
        case 9: groupBy.push_back(&r); break;
        case 10: having = r.Expression; break;
        case 11: orderBy.push_back(r.Expression + (r.Name1 == "D" ? " DESC" : "")); break;
        default: break;
        }
    }
    const std::string kind = QueryKind(type);
    const std::string declared = parameters.empty() ? "" : "PARAMETERS " + Join(parameters, ", ") + "; ";
    if (type == 7 || type == 8) return {"", Trim(statement), kind};
    const std::string order = orderBy.empty() ? "" : " ORDER BY " + Join(orderBy, ", ");
    if (type == 9) {
        // The parts are stored whole; UNION unless the flags ask for UNION ALL.
        std::string sql = declared;
        for (std::size_t i = 0; i < unionParts.size(); ++i)
            sql += (i ? ((selectFlags & 0x02) ? " UNION " : " UNION ALL ") : "") + Trim(unionParts[i]);
        return {"", sql + order, kind};
    }
    std::string topText;
    for (const auto& r : rows)
        if (r.Attribute == 3 && (r.Flag & 0x10)) topText = "TOP " + r.Name1 + ((r.Flag & 0x20) ? " PERCENT" : "") + " ";

    const std::string from = FromList(tables, joins);
    auto tail = [&](const std::vector<const TQueryRow*>& groups) {
        std::vector<std::string> names;
        for (const TQueryRow* g : groups) names.push_back(g->Expression);
        std::string out;
        if (!where.empty()) out += " WHERE " + where;
        if (!names.empty()) out += " GROUP BY " + Join(names, ", ");
        if (!having.empty()) out += " HAVING " + having;
        return out + order;
    };

    auto output = [](const TQueryRow* c) {
        return c->Expression + (c->HasName1 && !c->Name1.empty() ? " AS " + Bracket(c->Name1) : "");
    };
    std::vector<std::string> outputs;
    for (const TQueryRow* c : columns) outputs.push_back(output(c));
    if (selectFlags & 0x01) outputs.insert(outputs.begin(), "*");
    std::string distinct = (selectFlags & 0x02) ? "DISTINCT " : (selectFlags & 0x08) ? "DISTINCTROW " : "";
    const std::string fromText = from.empty() ? "" : " FROM " + from;

    switch (type) {
    case 4: {  // update
        std::vector<std::string> sets;
        for (const TQueryRow* c : columns) sets.push_back(c->Name2 + " = " + c->Expression);
        return {"", declared + "UPDATE " + from + " SET " + Join(sets, ", ") + tail(groupBy), kind};
    }
    case 5: {  // delete
        std::vector<std::string> what;
        for (const TQueryRow* c : columns) what.push_back(c->Expression);
        return {"",
                declared + "DELETE " + (what.empty() ? std::string() : Join(what, ", ") + " ") + "FROM " + from +
                    tail(groupBy),
                kind};
    }
    case 3: {  // append
        std::vector<std::string> names, values;
        for (const TQueryRow* c : columns) {
            names.push_back(c->Name2);
            values.push_back(c->Expression);
        }
        return {"",
                declared + "INSERT INTO " + Bracket(target) + " (" + Join(names, ", ") + ") SELECT " + distinct +
                    Join(values, ", ") + fromText + tail(groupBy),
                kind};
    }
    case 2:  // make-table
        return {"",
                declared + "SELECT " + distinct + topText + Join(outputs, ", ") + " INTO " + Bracket(target) +
                    fromText + tail(groupBy),
                kind};
    case 6: {  // crosstab: the value (no flag), row headings (flag 2), the column heading (flag 1)
        std::string value, pivot;
        std::vector<std::string> headings;
        std::vector<const TQueryRow*> rowGroups;
        for (const TQueryRow* c : columns) {
            if (c->Flag == 0)
                value = output(c);
            else if (c->Flag == 2)
                headings.push_back(output(c));
        }
        for (const TQueryRow* g : groupBy) {
            if (g->Flag == 1)
                pivot = g->Expression;
            else
                rowGroups.push_back(g);
        }
        return {"",
                declared + "TRANSFORM " + value + " SELECT " + distinct + Join(headings, ", ") + fromText +
                    tail(rowGroups) + " PIVOT " + pivot,
                kind};
    }
    default:
        return {"", declared + "SELECT " + distinct + topText + Join(outputs, ", ") + fromText + tail(groupBy), kind};
    }
}

std::vector<TSavedQuery> SavedQueries(MdbHandle* mdb) {
    std::map<std::int32_t, std::string> names;  // MSysObjects.Id -> name
    std::vector<std::int32_t> order;
    {
        MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, "MSysObjects");
        if (!entry) return {};
        TMdbTable table(entry);
        int cId = -1, cName = -1, cType = -1;
        for (unsigned i = 0; i < table.T->num_cols; ++i) {
            const std::string n = table.Column(i)->name;
            if (n == "Id") cId = static_cast<int>(i);
            if (n == "Name") cName = static_cast<int>(i);
            if (n == "Type") cType = static_cast<int>(i);
        }
        if (cId < 0 || cName < 0 || cType < 0) return {};
        ForEachRow(mdb, table,
                   [&](const TDbRow& row) {
                       if (row[static_cast<std::size_t>(cType)].AsInteger() != 5) return;
                       const std::string name = row[static_cast<std::size_t>(cName)].AsText();
                       if (name.empty() || name[0] == '~') return;
                       const auto id = static_cast<std::int32_t>(row[static_cast<std::size_t>(cId)].AsInteger());
                       names[id] = name;
                       order.push_back(id);
                   },
                   {cId, cName, cType});
    }
    std::map<std::int32_t, std::vector<TQueryRow>> defs;
    if (MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, "MSysQueries")) {
        TMdbTable table(entry);
        std::map<std::string, int> col;
        for (unsigned i = 0; i < table.T->num_cols; ++i) col[table.Column(i)->name] = static_cast<int>(i);
        for (const char* needed : {"ObjectId", "Attribute", "Order", "Name1", "Name2", "Expression", "Flag"})
            if (!col.count(needed)) throw EAccessDbError("MSysQueries lacks the column " + std::string(needed) + ".");
        ForEachRow(mdb, table, [&](const TDbRow& row) {
            auto at = [&](const char* n) -> const TDbValue& { return row[static_cast<std::size_t>(col[n])]; };
            TQueryRow q;
            const auto id = static_cast<std::int32_t>(at("ObjectId").AsInteger());
            q.Attribute = static_cast<int>(at("Attribute").AsInteger());
            const std::string orderBytes = at("Order").AsText();
            for (unsigned char b : orderBytes.substr(0, 4)) q.Order = (q.Order << 8) | b;  // big-endian
            q.HasName1 = !at("Name1").IsNull();
            q.HasName2 = !at("Name2").IsNull();
            q.HasExpression = !at("Expression").IsNull();
            q.Name1 = at("Name1").AsText();
            q.Name2 = at("Name2").AsText();
            q.Expression = at("Expression").AsText();
            q.Flag = static_cast<int>(at("Flag").AsInteger());
            defs[id].push_back(std::move(q));
        });
    }
    std::vector<TSavedQuery> out;
    for (std::int32_t id : order) {
        auto& rows = defs[id];
        std::stable_sort(rows.begin(), rows.end(), [](const TQueryRow& a, const TQueryRow& b) {
            return a.Attribute != b.Attribute ? a.Attribute < b.Attribute : a.Order < b.Order;
        });
        TSavedQuery q = rows.empty() ? TSavedQuery{} : BuildQuerySql(rows);
        q.Name = names[id];
        out.push_back(std::move(q));
    }
    return out;
}

}  // namespace

std::optional<std::string> ReadJetPassword(const std::string& jetPath) {
    std::ifstream in(jetPath, std::ios::binary);
    std::vector<unsigned char> page(0x100);
    if (!in.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()))) return std::nullopt;
    if (std::memcmp(page.data() + 4, "Standard Jet DB", 15) != 0 || page[0x14] != 1) return std::nullopt;
    const auto mask = HeaderMask();
    for (std::size_t i = 0; i < mask.size(); ++i) page[0x18 + i] ^= mask[i];
    double created = 0;
    std::memcpy(&created, page.data() + 0x72, sizeof created);
    // A damaged header may hold any bits: a creation date out of range tells no password.
    if (!(created >= -2147483648.0 && created < 2147483648.0)) return std::nullopt;
    const auto stamp = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    const unsigned char dm[4] = {static_cast<unsigned char>(stamp), static_cast<unsigned char>(stamp >> 8),
                                 static_cast<unsigned char>(stamp >> 16), static_cast<unsigned char>(stamp >> 24)};
    std::u16string password;
    for (std::size_t i = 0; i + 1 < 40; i += 2) {
        const unsigned lo = page[0x42 + i] ^ dm[i % 4];
        const unsigned hi = page[0x42 + i + 1] ^ dm[(i + 1) % 4];
        const char16_t ch = static_cast<char16_t>(lo | (hi << 8));
        if (ch == 0) break;
        password += ch;
    }
    return Utf16ToUtf8(password);
}

std::vector<TSavedQuery> ReadJetSavedQueries(const std::string& jetPath) {
    TMdb mdb(jetPath);
    return SavedQueries(mdb.H);
}

void ImportJetDatabase(const std::string& jetPath, const std::string& sqlitePath) {
    TMdb mdb(jetPath);
    TSqliteOut out(sqlitePath);
    out.Exec("begin");
    bool hasDotazy = false;
    for (unsigned i = 0; i < mdb.H->num_catalog; ++i) {
        if (!mdb.H->catalog || i >= mdb.H->catalog->len) throw EAccessDbError("Katalóg sa nedá prečítať.");
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb.H->catalog, i));
        if (!entry) throw EAccessDbError("Katalóg sa nedá prečítať.");
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
        TMdbTable table(entry);
        const std::string name = entry->object_name;
        if (SameTextAscii(name, "Dotazy")) hasDotazy = true;
        std::vector<std::string> cols;
        std::vector<std::string> marks;
        for (unsigned c = 0; c < table.T->num_cols; ++c) {
            MdbColumn* col = table.Column(c);
            cols.push_back(QuoteSqlName(col->name) + " " + SqliteType(col->col_type));
            marks.push_back("?");
        }
        out.Exec("create table " + QuoteSqlName(name) + " (" + Join(cols, ", ") + ")");
        if (cols.empty()) continue;
        TInsert insert(out.Db, "insert into " + QuoteSqlName(name) + " values (" + Join(marks, ", ") + ")");
        ForEachRow(mdb.H, table, [&](const TDbRow& row) { insert.Run(row); });
    }
    if (!hasDotazy) {
        out.Exec("create table Dotazy (Nazov TEXT COLLATE NOCASE, SQL TEXT, Druh TEXT)");
        TInsert insert(out.Db, "insert into Dotazy values (?, ?, ?)");
        for (const auto& q : SavedQueries(mdb.H)) insert.Run({TDbValue(q.Name), TDbValue(q.Sql), TDbValue(q.Kind)});
    }
    out.Exec("commit");
}

}  // namespace vexa
