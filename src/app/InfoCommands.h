#pragma once
// The options of vexa-info. Each option lives in its own Info*.cpp file and registers
// itself with a static registrar object:
//
//     static vexa::TInfoCommandRegistrar reg({"--dump", "G", "records of group G", true,
//         [](const std::string& target, const std::string& arg, std::ostream& out) { ...; return 0; }});
//
// The program is called as "vexa-info TARGET OPTION ARG" for options that need a target
// (a block directory), as "vexa-info OPTION ARG" for options that need none, and as
// "vexa-info TARGET" for the command registered with the empty option name.
// A command writes its result to out and returns the exit code (0 on success); an
// exception it raises is printed on stderr and ends the program with exit code 2.
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vexa {

struct TInfoCommand {
    std::string Option;   // "--dump"; empty for the command run on a bare target
    std::string ArgName;  // "G"; empty when the option takes no argument
    std::string Help;     // one line for --help
    bool NeedsTarget = true;
    std::function<int(const std::string& target, const std::string& arg, std::ostream& out)> Run;
    // Further options, each with one value, that may follow the argument in any order
    // ("--around G:N"); the command reads them with InfoExtraValue.
    std::vector<std::string> Extras = {};
    std::string ExtrasHelp = {};  // how they read in --help, "[--around G:N] [--size WxH]"
};

void RegisterInfoCommand(TInfoCommand command);
// The extra options given for the running command, by option name.
void SetInfoExtraValues(std::map<std::string, std::string> values);
// The value of an extra option; nothing when it was not given.
std::optional<std::string> InfoExtraValue(const std::string& option);
// All registered commands, sorted by option name.
std::vector<TInfoCommand> InfoCommands();
// The command of that option name; nullptr when there is none.
const TInfoCommand* FindInfoCommand(const std::string& option);

// How the block commands open their block: read-only (the default: nothing on disk changes,
// a missing file reads as empty, a missing block directory is an error) or, after
// "--create", as a check run opens it (missing files created, half pairs set aside).
void SetInfoCreatesBlocks(bool create);
class TBlk;
// Opens target for a block command in the chosen way; what a creating open set aside is
// told on stderr.
void OpenInfoBlock(TBlk& blk, const std::string& target);

struct TInfoCommandRegistrar {
    explicit TInfoCommandRegistrar(TInfoCommand command) { RegisterInfoCommand(std::move(command)); }
};

}  // namespace vexa
