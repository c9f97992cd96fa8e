#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "format/piece_format.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"

namespace {

using brindle::test::Ran;

// The real program under a desktop language, so that its main's choice of the language and
// of the catalogue folder is what is run.
Ran RunIn(const std::string& locale, const std::string& language, const std::string& args,
          const std::string& catalogues = BRINDLE_LOCALE_BUILD_DIR) {
    return brindle::test::RunShell("env LC_ALL=" + locale + " LANGUAGE=" + language +
                                   " BRINDLE_LOCALE_DIR='" + catalogues + "' '" +
                                   brindle::test::BrindleProgram() + "' " + args + " 2>&1");
}

constexpr const char* kMissing = "/nonexistent-brindle-folder/film.mkv";

const struct {
    const char* locale;
    const char* language;
    const char* helpStart;
    const char* failure;
    const char* coreReason;  // the split engine's refusal of a group name
} kLanguages[] = {
    {"C.UTF-8", "de", "Aufruf: brindle BEFEHL [OPTIONEN]\n",
     "brindle split: Datei nicht gefunden: /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: ein Gruppenname darf weder „/“ noch ein NUL-Byte enthalten: a/b\n"},
    {"C.UTF-8", "es:de", "Uso: brindle ORDEN [OPCIONES]\n",
     "brindle split: no existe el archivo: /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: un nombre de grupo no puede contener «/» ni un byte NUL: a/b\n"},
    // English, and a language without a catalogue, read as written in the code.
    {"C.UTF-8", "en_GB:de", "Usage: brindle COMMAND [OPTIONS]\n",
     "brindle split: no such file: /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: a group name cannot hold \"/\" or a NUL byte: a/b\n"},
};

TEST(CommandLanguageTest, HelpAndFailureSpeakTheDesktopsLanguage) {
    const brindle::test::TempDir dir;
    const std::string file = dir.File("film.mkv");
    brindle::test::WriteFile(file, "a film");
    for (const auto& l : kLanguages) {
        SCOPED_TRACE(std::string(l.locale) + " " + l.language);
        const Ran help = RunIn(l.locale, l.language, "--help");
        EXPECT_EQ(help.exit, 0);
        EXPECT_EQ(help.output.rfind(l.helpStart, 0), 0u) << help.output;
        const Ran failed = RunIn(l.locale, l.language, std::string("split ") + kMissing);
        EXPECT_EQ(failed.exit, 2);
        EXPECT_EQ(failed.output, l.failure);
        const Ran refused = RunIn(l.locale, l.language, "split '" + file + "' --group a/b");
        EXPECT_EQ(refused.exit, 2);
        EXPECT_EQ(refused.output, l.coreReason);
    }
}

// Installed, the catalogues lie in share/locale beside the program's bin folder, whatever
// prefix the build was configured for (a package installs to /usr); the build tree mirrors it.
TEST(CommandLanguageTest, CataloguesAreFoundBesideTheProgram) {
    const Ran help = RunIn("C.UTF-8", "de", "--help", "");
    EXPECT_EQ(help.output.rfind("Aufruf: brindle BEFEHL", 0), 0u) << help.output;
}

// A placeholder the translation moved, and a usage error that falls back to the help.
TEST(CommandLanguageTest, PlaceholdersAndTheHelpUnderAUsageError) {
    const Ran unknown = RunIn("C.UTF-8", "fr", "frobnicate");
    EXPECT_EQ(unknown.exit, 2);
    EXPECT_EQ(unknown.output.rfind(
                  "brindle : commande inconnue « frobnicate »\n\nUtilisation : brindle", 0),
              0u)
        << unknown.output;
    const Ran groups = RunIn("C.UTF-8", "es", "groups");
    EXPECT_EQ(groups.output.rfind(
                  "brindle groups: indique una sola carpeta\n\nUso: brindle groups CARPETA [--json]\n", 0),
              0u)
        << groups.output;
}

// The recovery check's summary counts four things, each in its own plural form.
TEST(CommandLanguageTest, RecoverySummaryTakesEachCountsPluralForm) {
    const brindle::test::TempDir dir;
    brindle::test::WriteFile(dir.File("film.avi"), brindle::test::PatternBytes(100'000, 3));
    // Ten pieces of 8 blocks each, 16 recovery blocks.
    ASSERT_EQ(
        RunIn("C.UTF-8", "de", "split '" + dir.File("film.avi") + "' --pieces 10 --recovery 20")
            .exit,
        0);
    const auto piece = [&dir](int k) { return dir.File(*brindle::PieceFileName("film", k)); };
    const std::string whole = brindle::test::ReadFile(piece(5));
    std::remove(piece(4).c_str());
    EXPECT_NE(
        RunIn("C.UTF-8", "de", "verify '" + piece(1) + "'")
            .output.find("\n1 Teil beschädigt oder fehlend; die Wiederherstellungsdateien können "
                         "ihn neu erstellen\n"),
        std::string::npos);
    // Two pieces lost and one block damaged: one block more than there are.
    std::remove(piece(3).c_str());
    std::string damaged = whole;
    damaged[5000] = static_cast<char>(damaged[5000] ^ 0x40);
    brindle::test::WriteFile(piece(5), damaged);
    const Ran verify = RunIn("C.UTF-8", "de", "verify '" + piece(1) + "'");
    EXPECT_EQ(verify.exit, 1);
    EXPECT_NE(verify.output.find(
                  "\n3 Teile beschädigt oder fehlend; die Wiederherstellungsdateien können "
                  "sie nicht neu erstellen: 17 Blöcke werden benötigt und 16 "
                  "Wiederherstellungsblöcke sind vorhanden, 1 Block ("),
              std::string::npos)
        << verify.output;
    EXPECT_NE(verify.output.find(") an Wiederherstellungsdaten fehlt\n"), std::string::npos);
}

// A piece of an earlier split: the join engine's reason and verify's count of the faulty
// pieces, whose plural follows that count and not the group's size.
TEST(CommandLanguageTest, AForeignPieceIsNamedInTheUsersLanguage) {
    const brindle::test::TempDir dir;
    brindle::test::WriteFile(dir.File("film.avi"), brindle::test::PatternBytes(30'000, 5));
    const std::string second = dir.File(*brindle::PieceFileName("film", 2));
    const std::string split = "split '" + dir.File("film.avi") + "' --pieces 3";
    ASSERT_EQ(RunIn("C", "", split).exit, 0);
    const std::string earlier = brindle::test::ReadFile(second);
    ASSERT_EQ(RunIn("C", "", split).exit, 0);
    brindle::test::WriteFile(second, earlier);
    const std::string first = "'" + dir.File(*brindle::PieceFileName("film", 1)) + "'";
    const Ran join = RunIn("C.UTF-8", "de", "join " + first + " --out '" + dir.File("out") + "'");
    EXPECT_EQ(join.exit, 1);
    EXPECT_EQ(join.output,
              "Die Dateien konnten nicht zusammengefügt werden.\nder Teil stammt aus einer "
              "anderen Aufteilung: " +
                  second + "\n");
    const Ran verify = RunIn("C.UTF-8", "fr", "verify " + first);
    EXPECT_EQ(verify.exit, 1);
    EXPECT_NE(
        verify.output.find("\n1 morceau sur 3 défectueux ; le groupe ne peut pas être assemblé.\n"),
        std::string::npos)
        << verify.output;
}

// A piece in another's place: the join says so in one sentence of the user's language, with
// no English words quoted inside it; verify's per-piece line, read by scripts, stays English.
TEST(CommandLanguageTest, APieceOutOfPlaceIsOneTranslatedSentence) {
    const brindle::test::TempDir dir;
    brindle::test::WriteFile(dir.File("film.avi"), brindle::test::PatternBytes(30'000, 6));
    ASSERT_EQ(RunIn("C", "", "split '" + dir.File("film.avi") + "' --pieces 3").exit, 0);
    const std::string second = dir.File(*brindle::PieceFileName("film", 2));
    const std::string third = dir.File(*brindle::PieceFileName("film", 3));
    const std::string held = brindle::test::ReadFile(third);
    brindle::test::WriteFile(third, brindle::test::ReadFile(second));
    brindle::test::WriteFile(second, held);
    const std::string first = "'" + dir.File(*brindle::PieceFileName("film", 1)) + "'";
    const Ran join = RunIn("C.UTF-8", "de", "join " + first + " --out '" + dir.File("out") + "'");
    EXPECT_EQ(join.exit, 1);
    EXPECT_EQ(join.output, "Die Dateien konnten nicht zusammengefügt werden.\nder Teil passt nicht an "
                           "seine Stelle (er enthält Teil 3): " + second + "\n");
    const Ran verify = RunIn("C.UTF-8", "de", "verify " + first);
    EXPECT_NE(verify.output.find("film(2).qmf002: damaged (holds piece 3)\n"), std::string::npos)
        << verify.output;
}

// The closing report of a rename run and of its undo, each said in the user's language.
TEST(CommandLanguageTest, RenameReportsInTheUsersLanguage) {
    const brindle::test::TempDir dir;
    brindle::test::WriteFile(dir.File("a.txt"), "a");
    const Ran renamed = RunIn("C.UTF-8", "fr", "rename --name b '" + dir.File("a.txt") + "'");
    EXPECT_EQ(renamed.exit, 0);
    EXPECT_EQ(renamed.output, "Opération terminée.\n");
    const Ran undone = RunIn("C.UTF-8", "fr", "rename --undo");
    EXPECT_EQ(undone.exit, 0);
    EXPECT_EQ(undone.output, "Opération terminée.\n");
    EXPECT_TRUE(brindle::test::Exists(dir.File("a.txt")));
}

// As in the windows: a C messages locale means English whatever LANGUAGE says, and a desktop
// locale this system lacks still gives its language.
TEST(CommandLanguageTest, TheMessagesLocaleDecidesWhetherLanguageCounts) {
    const struct {
        const char* locale;  // LC_ALL
        const char* language;
        const char* reason;  // the file seam's, before the system's own words
    } cases[] = {
        {"C", "de", "brindle info: cannot open /nonexistent-brindle-folder/film.mkv: "},
        {"de_DE.UTF-8", "",
         "brindle info: /nonexistent-brindle-folder/film.mkv kann nicht geöffnet werden: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const Ran failed = RunIn(c.locale, c.language, std::string("info ") + kMissing);
        EXPECT_EQ(failed.output.rfind(c.reason, 0), 0u) << failed.output;
    }
}

}  // namespace
