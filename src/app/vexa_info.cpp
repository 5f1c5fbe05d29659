// vexa-info: prints what the block store reads from a block (and, through options that
// other parts register, from attribute tables and the standard) as JSON.
#include "InfoCommands.h"
#include "common/Json.h"
#include "common/SysError.h"
#include "common/Version.h"

#include <algorithm>
#include <exception>
#include <map>
#include <iostream>
#include <string>
#include <vector>

namespace {

void PrintHelp(std::ostream& out) {
    out << "Použitie: vexa-info [--create] BLOK [VOĽBA HODNOTA]\n"
           "          vexa-info VOĽBA HODNOTA   (voľby bez bloku)\n"
           "          vexa-info --help | --version\n\n"
           "Vypíše JSON (UTF-8). Blok (adresár bloku) sa otvorí len na čítanie: na disku sa nič\n"
           "nezmení, chýbajúci súbor sa číta ako prázdny a neexistujúci adresár bloku je chyba.\n"
           "S --create sa blok otvorí tak ako pri kontrole: chýbajúce súbory sa vytvoria (aj\n"
           "adresár bloku) a súbor, ktorému chýba partner, sa odloží ako MENO.orphan-RRRRMMDD-HHMMSS\n"
           "(oznámi sa na stderr).\n"
           "Návratový stav 0 pri úspechu; pri chybe ide jej text na stderr a stav je 2.\n\n";
    for (const vexa::TInfoCommand& c : vexa::InfoCommands()) {
        std::string form;
        if (c.Option.empty())
            form = "BLOK";
        else
            form = (c.NeedsTarget ? "BLOK " : "") + c.Option + (c.ArgName.empty() ? "" : " " + c.ArgName) +
                   (c.ExtrasHelp.empty() ? "" : " " + c.ExtrasHelp);
        out << "  " << form << "\n      " << c.Help << "\n";
    }
}

int UsageError(const std::string& message) {
    std::cerr << "vexa-info: " << message << "\nPozri 'vexa-info --help'.\n";
    return 2;
}

// Messages split their lines with a carriage return; a terminal wants a newline.
std::string ForTerminal(std::string message) {
    for (char& c : message)
        if (c == '\r') c = '\n';
    return message;
}

bool IsOption(const std::string& s) { return s.size() > 1 && s[0] == '-'; }

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--create") {
        vexa::SetInfoCreatesBlocks(true);
        args.erase(args.begin());
        if (!args.empty() && IsOption(args[0])) return UsageError("za --create musí nasledovať adresár bloku");
    }
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            PrintHelp(std::cout);
            return 0;
        } else if (a == "--version") {
            std::cout << "vexa-info " << VEXA_VERSION << '\n';
            return 0;
        }
    if (args.empty()) return UsageError("chýba adresár bloku");

    const vexa::TInfoCommand* command = nullptr;
    std::string target, arg;
    std::size_t next = 0;
    if (IsOption(args[0])) {
        command = vexa::FindInfoCommand(args[0]);
        if (!command) return UsageError("neznáma voľba " + args[0]);
        if (command->NeedsTarget) return UsageError("pred " + args[0] + " musí byť adresár bloku");
        next = 1;
    } else {
        target = args[0];
        if (args.size() == 1) {
            command = vexa::FindInfoCommand("");
            next = 1;
        } else {
            command = vexa::FindInfoCommand(args[1]);
            if (!command || command->Option.empty()) return UsageError("neznáma voľba " + args[1]);
            if (!command->NeedsTarget) return UsageError(args[1] + " sa zadáva bez adresára bloku");
            next = 2;
        }
    }
    if (!command) return UsageError("nie je čo robiť");
    if (!command->ArgName.empty()) {
        if (next >= args.size()) return UsageError("chýba hodnota voľby " + command->Option + " (" + command->ArgName + ")");
        arg = args[next++];
    }
    std::map<std::string, std::string> extras;
    while (next < args.size()) {
        const std::string& option = args[next];
        if (std::find(command->Extras.begin(), command->Extras.end(), option) == command->Extras.end())
            return UsageError("nadbytočný argument " + option);
        if (next + 1 >= args.size()) return UsageError("chýba hodnota voľby " + option);
        if (!extras.emplace(option, args[next + 1]).second) return UsageError("voľba " + option + " je zadaná dvakrát");
        next += 2;
    }
    vexa::SetInfoExtraValues(std::move(extras));

    try {
        int code = command->Run(target, arg, std::cout);
        std::cout.flush();
        const std::string replaced = vexa::json::ReplacedBytesWarning();
        if (!replaced.empty()) std::cerr << replaced << '\n';
        return code;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << ForTerminal(vexa::UserMessage(e)) << '\n';
        return 2;
    }
}
