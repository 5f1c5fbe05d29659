// Failure causes in Slovak, the user's message for an exception, escaped names and the
// names of leftovers.
#include "common/Leftovers.h"
#include "common/SysError.h"
#include "common/Text.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <new>

using namespace vexa;

TEST(SysError, CausesInSlovak) {
    EXPECT_EQ(SysCause(ENOSPC), "disk je plný");
    EXPECT_EQ(SysCause(EACCES), "prístup zamietnutý");
    EXPECT_EQ(SysCause(ENOENT), "neexistuje");
    EXPECT_EQ(SysCause(ENOTDIR), "nie je adresár");
    EXPECT_EQ(SysCause(ENOMEM), "nedostatok pamäte");
    EXPECT_EQ(SysCause(std::make_error_code(std::errc::no_space_on_device)), "disk je plný");
    EXPECT_EQ(FileFailure("Zápis zlyhal", "/m/a.dbf", ENOSPC), "Zápis zlyhal\r(/m/a.dbf: disk je plný)");
}

TEST(SysError, OutOfMemoryAndFileSystemFailuresNeverReachTheUserRaw) {
    EXPECT_EQ(UserMessage(std::bad_alloc()), "Nedostatok pamäte");
    const std::filesystem::filesystem_error fe("x", "/m/LE_1.blk", std::make_error_code(std::errc::permission_denied));
    EXPECT_EQ(UserMessage(fe), "Chyba súboru\r(/m/LE_1.blk: prístup zamietnutý)");
    EXPECT_EQ(UserMessage(std::runtime_error("Iná chyba")), "Iná chyba");
}

TEST(Text, ControlCharactersAreEscaped) {
    EXPECT_EQ(EscapeControlChars("LE_1\n.blk"), "LE_1\\n.blk");
    EXPECT_EQ(EscapeControlChars("a\tb\rc\x01\x7F"
                                 "č"),
              "a\\tb\\rc\\x01\\x7Fč");
    EXPECT_EQ(EscapeControlChars("plain"), "plain");
}

TEST(Leftovers, NamesCarryTheProcessId) {
    EXPECT_EQ(LeftoverPid(".l0012.dbf.vexa-4711-3-12345.tmp"), std::optional<long>(4711));
    EXPECT_EQ(LeftoverPid(".l0012.dbf.vexa-4711-3-12345.tmp.dbf"), std::optional<long>(4711));
    EXPECT_EQ(LeftoverPid("vexa-99-aB3xYz"), std::optional<long>(99));
    EXPECT_EQ(LeftoverPid("l0012.dbf"), std::nullopt);
    EXPECT_EQ(LeftoverPid("vexa-abcdef"), std::nullopt);
    EXPECT_EQ(LeftoverPid(".vexa-1-2-3.tmp"), std::nullopt);
    EXPECT_TRUE(ProcessAlive(::getpid()));
}

TEST(SysError, SystemCausesOnlyForSystemFailures) {
    EXPECT_EQ(SystemCause(std::bad_alloc()), "nedostatok pamäte");
    EXPECT_EQ(SystemCause(std::filesystem::filesystem_error("x", "/m/a.dbf",
                                                            std::make_error_code(std::errc::no_space_on_device))),
              "/m/a.dbf: disk je plný");
    EXPECT_EQ(SystemCause(std::runtime_error("Invalid filter")), "");
}
