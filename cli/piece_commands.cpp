#include <ostream>

#include "cli.h"

namespace brindle::cli {

int RunSplit(const std::vector<std::string>&, Console& c) { c.err << "not yet\n"; return kExitUsage; }
int RunJoin(const std::vector<std::string>&, Console& c) { c.err << "not yet\n"; return kExitUsage; }
int RunGroups(const std::vector<std::string>&, Console& c) { c.err << "not yet\n"; return kExitUsage; }
int RunInfo(const std::vector<std::string>&, Console& c) { c.err << "not yet\n"; return kExitUsage; }

}  // namespace brindle::cli
