#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shell/digest.h"
#include "shell/status.h"

// Checksum files that come with downloaded pieces, written by other tools: .sfv files of
// CRC-32 values ("name CRC", ";" comments) and .md5, .sha1, .sha256 files in the
// `HASH  name` form of md5sum and its kin.
namespace brindle {

struct ListedName {
    std::string name;
    std::string hex;  // lowercase
};

// The readers of one file's text. Lines that are not checksum lines are skipped and counted
// in `badLines`, since a list from elsewhere may hold notes of its own.
std::vector<ListedName> ParseSfv(std::string_view text, int* badLines);
std::vector<ListedName> ParseHashList(std::string_view text, DigestKind kind, int* badLines);

// One expected digest, with the checksum file that says so.
struct Expected {
    DigestKind kind = DigestKind::kSha256;
    std::string hex;
    std::string listFile;  // the checksum file's name
};

// Every checksum file beside a group that lists at least one of its names.
struct ChecksumLists {
    std::vector<std::string> files;                    // names, alphabetically
    std::multimap<std::string, Expected> entries;      // listed name -> expected digest
    int badLines = 0;                                  // in the files used
    bool Lists(const std::string& name) const { return entries.count(name) > 0; }
};

// Reads NAME.sfv, NAME.md5, NAME.sha1, NAME.sha256 and any other *.sfv, *.md5, *.sha1 or
// *.sha256 in `folder`, keeping the files that list one of `names`.
ChecksumLists ReadChecksumLists(const std::string& folder, const std::vector<std::string>& names);

// The kinds of digest `lists` expects of `name`, each once.
std::vector<DigestKind> KindsListed(const ChecksumLists& lists, const std::string& name);

// Ok when each digest `lists` expects of `name` equals the one computed; Corruption naming
// `path` and the list otherwise.
Status CompareListed(const ChecksumLists& lists, const std::string& name, const std::string& path,
                     const std::map<DigestKind, std::string>& computed);

// Feeds one whole file to every digest of `digests`, in one read.
Status FeedFile(const std::string& path, const std::vector<Digest*>& digests);

}  // namespace brindle
