// Access's operators as functions (& + - * / \ Mod ^ Not And Or Xor Eqv Imp) with its
// rules for Null, whole numbers and dates, and the choice functions IIf, Nz, Switch, Choose.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>

namespace vexa::access_functions {

namespace {

// ---- nulls and choices ----------------------------------------------------------
void FnIIf(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_value(c, Truth(a[0]) ? a[1] : a[2]); }
void FnNz(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (!Null(a[0])) return sqlite3_result_value(c, a[0]);
    if (argc > 1) return sqlite3_result_value(c, a[1]);
    ResultText(c, "");
}
void FnIsNull(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_int(c, Null(a[0]) ? -1 : 0); }
// Switch(cond1, value1, ...): the value of the first true condition, else Null.
void FnSwitch(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (argc % 2 != 0 || argc == 0) InvalidArgument();
    for (int i = 0; i < argc; i += 2)
        if (Truth(a[i])) return sqlite3_result_value(c, a[i + 1]);
    sqlite3_result_null(c);
}
// Choose(index, v1, v2, ...): index rounded down; out of range or Null gives Null.
void FnChoose(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (argc < 2) InvalidArgument();
    if (Null(a[0])) return sqlite3_result_null(c);
    const double i = std::trunc(Number(a[0]));
    if (i < 1 || i > argc - 1) return sqlite3_result_null(c);
    sqlite3_result_value(c, a[static_cast<int>(i)]);
}

// ---- operators ------------------------------------------------------------------
void OpConcat(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    ResultText(c, Text(a[0]) + Text(a[1]));
}
void OpDiv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = Number(a[1]);
    if (d == 0) throw TAccessError("Division by zero");
    ResultNumber(c, Number(a[0]) / d);
}
void OpIDiv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = BankersRound(Number(a[1]));
    if (d == 0) throw TAccessError("Division by zero");
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(std::trunc(BankersRound(Number(a[0])) / d)));
}
void OpMod(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = BankersRound(Number(a[1]));
    if (d == 0) throw TAccessError("Division by zero");
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(std::fmod(BankersRound(Number(a[0])), d)));
}
void OpPow(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    ResultNumber(c, std::pow(Number(a[0]), Number(a[1])));
}

// ---- arithmetic and logic -----------------------------------------------------------

// + - *: whole numbers stay whole (Overflow past 64 bits); numeric texts count as numbers;
// a stored date with a number gives a date, two dates subtracted give days.
void Arithmetic(sqlite3_context* c, sqlite3_value** a, char op) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const int t0 = sqlite3_value_type(a[0]), t1 = sqlite3_value_type(a[1]);
    const bool date0 = t0 == SQLITE_TEXT && IsStoredDate(Text(a[0]));
    const bool date1 = t1 == SQLITE_TEXT && IsStoredDate(Text(a[1]));
    if (op == '+' && t0 == SQLITE_TEXT && t1 == SQLITE_TEXT && !(date0 && date1))
        return ResultText(c, Text(a[0]) + Text(a[1]));
    if (op != '*' && (date0 || date1)) {
        const double x = date0 ? DateOf(a[0]) : Number(a[0]);
        const double y = date1 ? DateOf(a[1]) : Number(a[1]);
        if (op == '-' && date0 && date1) return ResultNumber(c, x - y);
        if (date1 && op == '-') TypeMismatch();
        return ResultDate(c, op == '+' ? x + y : x - y);
    }
    if (t0 == SQLITE_INTEGER && t1 == SQLITE_INTEGER) {
        const sqlite3_int64 x = sqlite3_value_int64(a[0]), y = sqlite3_value_int64(a[1]);
        sqlite3_int64 r = 0;
        const bool over = op == '+'   ? __builtin_add_overflow(x, y, &r)
                          : op == '-' ? __builtin_sub_overflow(x, y, &r)
                                      : __builtin_mul_overflow(x, y, &r);
        if (over) Overflow();
        return sqlite3_result_int64(c, r);
    }
    const double x = Number(a[0]), y = Number(a[1]);
    const double r = op == '+' ? x + y : op == '-' ? x - y : x * y;
    if (!std::isfinite(r)) Overflow();
    ResultNumber(c, r);
}
void OpAdd(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '+'); }
void OpSub(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '-'); }
void OpMul(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '*'); }

// The operands of Not/And/Or/...: whole numbers (Access rounds to a Long).
std::int64_t LogicOperand(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        const std::string t = UpperAscii(Trim(Text(v)));
        if (t == "TRUE") return -1;
        if (t == "FALSE") return 0;
    }
    const double r = BankersRound(Number(v));
    if (r < -2147483648.0 || r > 2147483647.0) Overflow();
    return static_cast<std::int64_t>(r);
}
void OpNot(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, ~LogicOperand(a[0]));
}
// Null with a value: And is 0 where the value is 0, Or is -1 where the value is -1, else Null.
void OpAnd(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0]) || Null(a[1])) {
        const std::int64_t x = LogicOperand(Null(a[0]) ? a[1] : a[0]);
        return x == 0 ? sqlite3_result_int64(c, 0) : sqlite3_result_null(c);
    }
    sqlite3_result_int64(c, LogicOperand(a[0]) & LogicOperand(a[1]));
}
void OpOr(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0]) || Null(a[1])) {
        const std::int64_t x = LogicOperand(Null(a[0]) ? a[1] : a[0]);
        return x == -1 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    }
    sqlite3_result_int64(c, LogicOperand(a[0]) | LogicOperand(a[1]));
}
void OpXor(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, LogicOperand(a[0]) ^ LogicOperand(a[1]));
}
void OpEqv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, ~(LogicOperand(a[0]) ^ LogicOperand(a[1])));
}
// Imp: Not a Or b; with Null, False Imp x and x Imp True are True.
void OpImp(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0])) return LogicOperand(a[1]) == -1 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    if (Null(a[1])) return LogicOperand(a[0]) == 0 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    sqlite3_result_int64(c, ~LogicOperand(a[0]) | LogicOperand(a[1]));
}

}  // namespace

void RegisterOperators(sqlite3* db) {
    static const TFunction functions[] = {
        {"access_iif", 3, 3, Guarded<FnIIf>},
        {"access_nz", 1, 2, Guarded<FnNz>},
        {"access_isnull", 1, 1, Guarded<FnIsNull>},
        {"access_switch", -1, -1, Guarded<FnSwitch>},
        {"access_choose", -1, -1, Guarded<FnChoose>},
        {"access_concat", 2, 2, Guarded<OpConcat>},
        {"access_div", 2, 2, Guarded<OpDiv>},
        {"access_idiv", 2, 2, Guarded<OpIDiv>},
        {"access_mod", 2, 2, Guarded<OpMod>},
        {"access_pow", 2, 2, Guarded<OpPow>},
        {"access_add", 2, 2, Guarded<OpAdd>},
        {"access_sub", 2, 2, Guarded<OpSub>},
        {"access_mul", 2, 2, Guarded<OpMul>},
        {"access_not", 1, 1, Guarded<OpNot>},
        {"access_and", 2, 2, Guarded<OpAnd>},
        {"access_or", 2, 2, Guarded<OpOr>},
        {"access_xor", 2, 2, Guarded<OpXor>},
        {"access_eqv", 2, 2, Guarded<OpEqv>},
        {"access_imp", 2, 2, Guarded<OpImp>},
    };
    RegisterScalars(db, functions);
}

}  // namespace vexa::access_functions
