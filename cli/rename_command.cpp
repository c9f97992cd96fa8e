#include <ostream>

#include "cli.h"

namespace brindle::cli {

int RunRename(const std::vector<std::string>&, Console& console) {
    console.err << "brindle rename: not available yet\n";
    return kExitUsage;
}

}  // namespace brindle::cli
