#include "shell/translate.h"

#include <libintl.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace brindle {

namespace {

// share/locale beside the running program's bin folder: where the build tree keeps the
// catalogues and where a package installs them, whatever prefix the build was configured for.
std::string CatalogueFolder() {
    if (const char* folder = std::getenv("BRINDLE_LOCALE_DIR");
        folder != nullptr && *folder != '\0') {
        return folder;
    }
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) {
        return BRINDLE_LOCALE_DIR;
    }
    return (program.parent_path().parent_path() / "share" / "locale").string();
}

}  // namespace

void BindCatalogue() {
    ::bindtextdomain(kTextDomain, CatalogueFolder().c_str());
    // The catalogues are UTF-8 and so is every terminal the command writes to.
    ::bind_textdomain_codeset(kTextDomain, "UTF-8");
}

std::string UpToEnglish(std::string_view languages) {
    std::size_t start = 0;
    while (start <= languages.size()) {
        const std::size_t end = std::min(languages.find(':', start), languages.size());
        const std::string_view entry = languages.substr(start, end - start);
        const std::string_view code = entry.substr(0, entry.find_first_of("_.@"));
        if (code == "en" || code == "C" || code == "POSIX") {
            return std::string(languages.substr(0, end));
        }
        start = end + 1;
    }
    return std::string(languages);
}

std::string DesktopLanguages(const std::function<const char*(const char*)>& variable) {
    std::string_view locale = "C";
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = variable(name); value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale == "C" || locale == "POSIX") {
        return {};
    }
    if (const char* list = variable("LANGUAGE"); list != nullptr && *list != '\0') {
        return UpToEnglish(list);
    }
    // "de_DE.UTF-8" reads "de_DE": the catalogues do not depend on the character set.
    const std::size_t dot = locale.find('.');
    const std::size_t at = locale.find('@');
    std::string language(locale.substr(0, std::min(dot, at)));
    if (at != std::string_view::npos) {
        language += locale.substr(at);
    }
    return UpToEnglish(language);
}

std::string DesktopLanguages() {
    return DesktopLanguages([](const char* name) { return std::getenv(name); });
}

void UseDesktopLanguage() {
    if (const std::string languages = DesktopLanguages(); languages.empty()) {
        ::unsetenv("LANGUAGE");
    } else {
        ::setenv("LANGUAGE", languages.c_str(), 1);
    }
    // gettext ignores LANGUAGE under the C locale that a failed setlocale leaves.
    if (std::setlocale(LC_ALL, "") == nullptr) {
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    BindCatalogue();
}

const char* Tr(const char* text) {
    return ::dgettext(kTextDomain, text);
}

const char* TrN(const char* singular, const char* plural, unsigned long n) {
    return ::dngettext(kTextDomain, singular, plural, n);
}

std::string Fill(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '%' && next >= '1' && next <= '9' &&
                   static_cast<std::size_t>(next - '1') < values.size()) {
            out += values.begin()[next - '1'];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace brindle
