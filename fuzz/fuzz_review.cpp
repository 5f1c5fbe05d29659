// The review's files as a map holds them: two run files of an earlier version's history and
// the exceptions table Vynimky.DBF, read the way vexa-review and a check read them (the runs
// taken over into the history database and listed with and without their findings, each
// file read alone, the exceptions loaded).
#include "FuzzInput.h"
#include "common/Exception.h"
#include "review/Exceptions.h"
#include "review/RunHistory.h"

#include <cstdint>
#include <string>

using namespace vexa;

namespace {
const std::vector<std::string> kNames = {"20200101-000000-000.run", "20200101-000000-001.run", "Vynimky.DBF"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto files = vexafuzz::SplitFiles(data, size, kNames);
    const auto map = vexafuzz::Scratch("review");
    const auto runs = map / ".vexa" / "runs";
    std::filesystem::create_directories(runs);
    std::error_code ec;
    std::filesystem::remove(map / ".vexa" / "historia.sqlite", ec);  // taken over anew each time
    for (const auto& [name, bytes] : files)
        vexafuzz::WriteFile(name.ends_with(".run") ? runs / name : map / name, bytes);

    std::vector<std::string> problems;
    try {
        for (bool withFindings : {false, true}) review::ListRuns(map.string(), withFindings, problems);
    } catch (const vexa::Exception&) {
    } catch (const std::filesystem::filesystem_error&) {}
    for (const std::string& name : {kNames[0], kNames[1]}) {
        try {
            review::ReadRun(runs / name, true);
        } catch (const vexa::Exception&) {
        } catch (const std::filesystem::filesystem_error&) {}
    }
    try {
        for (const review::TReviewException& e : review::LoadExceptions(map.string())) (void)e.Key();
    } catch (const vexa::Exception&) {
    } catch (const std::filesystem::filesystem_error&) {}
    return 0;
}
