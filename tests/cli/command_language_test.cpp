#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace {

struct Ran {
    std::string output;  // stdout and stderr together
    int exit = -1;
};

// The real program under a desktop language, so that its main's choice of the language and
// of the catalogue folder is what is run.
Ran RunIn(const std::string& locale, const std::string& language, const std::string& args,
          const std::string& catalogues = BRINDLE_LOCALE_BUILD_DIR) {
    const std::string command = "env LC_ALL=" + locale + " LANGUAGE=" + language +
                                " BRINDLE_LOCALE_DIR='" + catalogues + "' '" BRINDLE_CLI_PATH "' " +
                                args + " 2>&1";
    Ran ran;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return ran;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        ran.output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    ran.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
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
    {"C.UTF-8", "fr", "Utilisation : brindle COMMANDE [OPTIONS]\n",
     "brindle split: fichier introuvable : /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: un nom de groupe ne peut contenir ni « / » ni octet NUL : a/b\n"},
    {"C.UTF-8", "es:de", "Uso: brindle ORDEN [OPCIONES]\n",
     "brindle split: no existe el archivo: /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: un nombre de grupo no puede contener «/» ni un byte NUL: a/b\n"},
    // English, and a language without a catalogue, read as written in the code.
    {"C.UTF-8", "en_GB:de", "Usage: brindle COMMAND [OPTIONS]\n",
     "brindle split: no such file: /nonexistent-brindle-folder/film.mkv\n",
     "brindle split: a group name cannot hold \"/\" or a NUL byte: a/b\n"},
    {"C", "", "Usage: brindle COMMAND [OPTIONS]\n",
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
                  "brindle groups: indique una sola carpeta\n\nUso: brindle groups CARPETA\n", 0),
              0u)
        << groups.output;
}

// As in the windows: a C messages locale means English whatever LANGUAGE says, and a desktop
// locale this system lacks still gives its language.
TEST(CommandLanguageTest, TheMessagesLocaleDecidesWhetherLanguageCounts) {
    const struct {
        const char* locale;  // LC_ALL, or what follows an empty one
        const char* language;
        const char* reason;  // the file seam's, before the system's own words
    } cases[] = {
        {"C", "de", "brindle info: cannot open /nonexistent-brindle-folder/film.mkv: "},
        {"'' LC_MESSAGES=POSIX", "fr",
         "brindle info: cannot open /nonexistent-brindle-folder/film.mkv: "},
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
