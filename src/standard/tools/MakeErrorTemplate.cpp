// Build tool: writes the empty error table "Chyby.dbf" that the programs copy
// for every check run.  Usage: vexa-make-error-template OUTPUT
#include "standard/ErrorTable.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: vexa-make-error-template OUTPUT\n";
        return 2;
    }
    try {
        vexa::TErrorTable::CreateTemplate(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
