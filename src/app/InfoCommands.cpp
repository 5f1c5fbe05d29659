#include "InfoCommands.h"

#include "block/BlkObj.h"

#include <algorithm>
#include <iostream>

namespace vexa {

namespace {
// Function-local so that registrars in other files may run first.
std::vector<TInfoCommand>& Registry() {
    static std::vector<TInfoCommand> commands;
    return commands;
}
std::map<std::string, std::string>& ExtraValues() {
    static std::map<std::string, std::string> values;
    return values;
}
bool& CreatesBlocks() {
    static bool create = false;
    return create;
}
}  // namespace

void SetInfoCreatesBlocks(bool create) { CreatesBlocks() = create; }

void OpenInfoBlock(TBlk& blk, const std::string& target) {
    blk.Open(target, CreatesBlocks() ? TBlkOpenMode::Create : TBlkOpenMode::ReadOnly);
    for (const std::string& w : blk.OpenWarnings()) std::cerr << "vexa-info: " << w << '\n';
}

void SetInfoExtraValues(std::map<std::string, std::string> values) { ExtraValues() = std::move(values); }

std::optional<std::string> InfoExtraValue(const std::string& option) {
    const auto it = ExtraValues().find(option);
    if (it == ExtraValues().end()) return std::nullopt;
    return it->second;
}

void RegisterInfoCommand(TInfoCommand command) { Registry().push_back(std::move(command)); }

std::vector<TInfoCommand> InfoCommands() {
    std::vector<TInfoCommand> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(),
              [](const TInfoCommand& a, const TInfoCommand& b) { return a.Option < b.Option; });
    return sorted;
}

const TInfoCommand* FindInfoCommand(const std::string& option) {
    for (const TInfoCommand& c : Registry())
        if (c.Option == option) return &c;
    return nullptr;
}

}  // namespace vexa
