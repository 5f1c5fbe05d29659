#include "InfoCommands.h"

#include "block/BlkObj.h"
#include "common/Exception.h"
#include "common/Text.h"

#include <algorithm>
#include <filesystem>
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

// A map directory given where a block is meant: it holds block directories and none of a
// block's element files. Refused with its blocks named, so that nothing reads it as an
// empty block (nor --create makes one of it).
void RefuseMapAsBlock(const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(target, ec)) return;
    std::vector<std::string> blocks;
    for (const fs::directory_entry& e : fs::directory_iterator(target, ec)) {
        const std::string name = e.path().filename().string();
        if (SameTextAscii(name, "tn.lin") || SameTextAscii(name, "tn.crd") || SameTextAscii(name, "tn.are")) return;
        if (name.size() > 4 && SameTextAscii(name.substr(name.size() - 4), ".blk") && e.is_directory(ec))
            blocks.push_back(name);
    }
    if (blocks.empty()) return;
    std::sort(blocks.begin(), blocks.end());
    std::string listed;
    for (const std::string& b : blocks) listed += (listed.empty() ? "" : ", ") + EscapeControlChars(b);
    const std::string example = (fs::path(target) / blocks.front()).string();
    throw Exception("Adresár je mapa, nie blok\r(" + EscapeControlChars(target) + ")\rBloky mapy: " + listed +
                    "\rZadajte adresár bloku, napríklad vexa-info " + EscapeControlChars(example));
}

void OpenInfoBlock(TBlk& blk, const std::string& target) {
    RefuseMapAsBlock(target);
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
