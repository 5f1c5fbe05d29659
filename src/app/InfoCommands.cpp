#include "InfoCommands.h"

#include <algorithm>

namespace vexa {

namespace {
// Function-local so that registrars in other files may run first.
std::vector<TInfoCommand>& Registry() {
    static std::vector<TInfoCommand> commands;
    return commands;
}
} // namespace

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

} // namespace vexa
