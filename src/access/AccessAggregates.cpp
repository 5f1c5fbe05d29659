// The aggregates Access has beside SQLite's own: First, Last, StDev, StDevP, Var, VarP.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cmath>

namespace vexa::access_functions {

namespace {

struct TFirstLast {
    bool Seen = false;
    sqlite3_value* Value = nullptr;
};
template <bool Last>
void StepFirstLast(sqlite3_context* c, int, sqlite3_value** a) {
    auto* s = static_cast<TFirstLast*>(sqlite3_aggregate_context(c, sizeof(TFirstLast)));
    if (!s || (s->Seen && !Last)) return;
    sqlite3_value_free(s->Value);
    s->Value = sqlite3_value_dup(a[0]);
    s->Seen = true;
}
void FinalFirstLast(sqlite3_context* c) {
    auto* s = static_cast<TFirstLast*>(sqlite3_aggregate_context(c, 0));
    if (!s || !s->Value) return sqlite3_result_null(c);
    sqlite3_result_value(c, s->Value);
    sqlite3_value_free(s->Value);
    s->Value = nullptr;
}
struct TMoments {
    double N = 0, Mean = 0, M2 = 0;
};
void StepMoments(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return;
    const double x = Number(a[0]);
    auto* s = static_cast<TMoments*>(sqlite3_aggregate_context(c, sizeof(TMoments)));
    if (!s) return;
    s->N += 1;
    const double d = x - s->Mean;
    s->Mean += d / s->N;
    s->M2 += d * (x - s->Mean);
}
// Sample statistics need two values, population ones one; fewer gives Null.
template <bool Sample, bool Root>
void FinalMoments(sqlite3_context* c) {
    auto* s = static_cast<TMoments*>(sqlite3_aggregate_context(c, 0));
    const double need = Sample ? 2 : 1;
    if (!s || s->N < need) return sqlite3_result_null(c);
    const double v = s->M2 / (Sample ? s->N - 1 : s->N);
    ResultNumber(c, Root ? std::sqrt(v) : v);
}

}  // namespace

void RegisterAggregates(sqlite3* db) {
    static const TAggregate aggregates[] = {
        {"access_first", Guarded<StepFirstLast<false>>, FinalFirstLast},
        {"access_last", Guarded<StepFirstLast<true>>, FinalFirstLast},
        {"access_stdev", Guarded<StepMoments>, FinalMoments<true, true>},
        {"access_stdevp", Guarded<StepMoments>, FinalMoments<false, true>},
        {"access_var", Guarded<StepMoments>, FinalMoments<true, false>},
        {"access_varp", Guarded<StepMoments>, FinalMoments<false, false>},
    };
    for (const TAggregate& f : aggregates)
        if (sqlite3_create_function_v2(db, f.Name, 1, SQLITE_UTF8, nullptr, nullptr, f.Step, f.Final, nullptr) !=
            SQLITE_OK)
            throw EAccessDbError(std::string("Cannot register function ") + f.Name);
}

}  // namespace vexa::access_functions
