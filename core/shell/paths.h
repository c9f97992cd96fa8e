#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

inline constexpr char kPathSeparator = '/';

// Text after the last separator; the whole text when there is none.
std::string GetFileName(std::string_view path);

// Text before the last separator, without it; the whole text when there is none. The root
// folder is "/" itself, so JoinPath of the result always gives back a usable path.
std::string GetFolderName(std::string_view path);

// Folder and name joined by one separator, however the folder ends.
std::string JoinPath(std::string_view folder, std::string_view name);

// "1023 BYTE", "1.5 KB", "1.39 MB", "2 GB": powers of 1024, two decimals, halves to even.
std::string FormatSize(std::int64_t bytes, char decimalSeparator = '.');

std::string RemoveDigits(std::string_view text);

// The text with its letters lowered, one byte at a time: extensions and option values are
// compared this way.
std::string Lowered(std::string_view text);

// The extension's letters: the text after the last "." without its digits
// ("qmf" for both a(1).qmf and a(2).qmf002); the whole text when there is no ".".
std::string GetExtensionLetters(std::string_view path);

// A file name without its extension: the part before the last ".", or the whole name when
// it has none (a name such as README keeps itself rather than becoming empty).
std::string StripExtension(std::string_view fileName);

// `path` made absolute against `currentFolder`, and otherwise as given: "." steps and doubled
// separators go, but ".." stays for the system to resolve, since after a symbolic link it
// leads somewhere else than the text suggests.
std::string AbsolutePath(const std::string& path, const std::string& currentFolder);

}  // namespace brindle
