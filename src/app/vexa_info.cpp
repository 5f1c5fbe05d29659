// vexa-info: prints what the block store reads from a block (and, through options that
// other parts register, from attribute tables and the standard) as JSON.
#include "InfoCommands.h"
#include "common/SysError.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

void PrintHelp(std::ostream& out) {
    out << "Usage: vexa-info [--create] BLOCKDIR [OPTION ARG]\n"
           "       vexa-info OPTION ARG      (options that need no block)\n"
           "       vexa-info --help\n\n"
           "Prints JSON (UTF-8). The block is opened read-only: nothing on disk changes, a missing file\n"
           "reads as empty and a block directory that does not exist is an error. With --create the\n"
           "block is opened as a check run opens it: missing files are created, and a file whose\n"
           "partner is missing is set aside as NAME.orphan-YYYYMMDD-HHMMSS (told on stderr).\n"
           "Exit code 0 on success; on an error its message goes to stderr and the exit code is 2.\n\n";
    for (const vexa::TInfoCommand& c : vexa::InfoCommands()) {
        std::string form;
        if (c.Option.empty())
            form = "BLOCKDIR";
        else
            form = (c.NeedsTarget ? "BLOCKDIR " : "") + c.Option + (c.ArgName.empty() ? "" : " " + c.ArgName);
        out << "  " << form << "\n      " << c.Help << "\n";
    }
}

int UsageError(const std::string& message) {
    std::cerr << "vexa-info: " << message << "\nTry 'vexa-info --help'.\n";
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
        if (!args.empty() && IsOption(args[0])) return UsageError("--create needs a block directory after it");
    }
    if (args.empty()) return UsageError("missing block directory");
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            PrintHelp(std::cout);
            return 0;
        }

    const vexa::TInfoCommand* command = nullptr;
    std::string target, arg;
    std::size_t next = 0;
    if (IsOption(args[0])) {
        command = vexa::FindInfoCommand(args[0]);
        if (!command) return UsageError("unknown option " + args[0]);
        if (command->NeedsTarget) return UsageError(args[0] + " needs a block directory before it");
        next = 1;
    } else {
        target = args[0];
        if (args.size() == 1) {
            command = vexa::FindInfoCommand("");
            next = 1;
        } else {
            command = vexa::FindInfoCommand(args[1]);
            if (!command || command->Option.empty()) return UsageError("unknown option " + args[1]);
            if (!command->NeedsTarget) return UsageError(args[1] + " takes no block directory");
            next = 2;
        }
    }
    if (!command) return UsageError("nothing to do");
    if (!command->ArgName.empty()) {
        if (next >= args.size()) return UsageError(command->Option + " needs " + command->ArgName);
        arg = args[next++];
    }
    if (next != args.size()) return UsageError("unexpected argument " + args[next]);

    try {
        int code = command->Run(target, arg, std::cout);
        std::cout.flush();
        return code;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << ForTerminal(vexa::UserMessage(e)) << '\n';
        return 2;
    }
}
