#include "rename/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "shell/translate.h"

namespace brindle {
namespace {

// File names are short: a sane pattern needs a small fraction of this on one, and a
// runaway one stops here in a moment.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 10'000;

std::string Reason(int code) {
    PCRE2_UCHAR buffer[256];
    const int n = pcre2_get_error_message(code, buffer, sizeof buffer);
    return n < 0 ? std::to_string(code) : std::string(reinterpret_cast<const char*>(buffer));
}

void Tell(std::string* why, std::string text) {
    if (why != nullptr) {
        *why = std::move(text);
    }
}

// Every non-overlapping occurrence, left to right, byte for byte.
std::string ReplaceExact(std::string_view text, std::string_view what, std::string_view with) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, from)) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace

struct Replacer::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    std::uint32_t substituteOptions = 0;
    std::string exact;  // plain text matched by case: no library needed
    ~Compiled() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

Replacer::Replacer(const FindReplace& what) : replace_(what.replace) {
    if (what.find.empty()) {
        return;
    }
    compiled_ = std::make_unique<Compiled>();
    if (!what.regex && what.matchCase) {
        compiled_->exact = what.find;
        return;
    }
    // Names need not be UTF-8: such bytes are simply never matched.
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (!what.regex) {
        options |= PCRE2_LITERAL;
        compiled_->substituteOptions |= PCRE2_SUBSTITUTE_LITERAL;
    }
    if (!what.matchCase) {
        options |= PCRE2_CASELESS;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    compiled_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(what.find.data()),
                                    what.find.size(), options, &error, &offset, nullptr);
    if (compiled_->code == nullptr) {
        problem_ = Fill(Tr("The pattern is not valid at offset %1: %2"),
                        {std::to_string(offset), Reason(error)});
        compiled_.reset();
        return;
    }
    compiled_->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled_->context, kMatchLimit);
    pcre2_set_depth_limit(compiled_->context, kDepthLimit);
    compiled_->substituteOptions |= PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH;
}

Replacer::~Replacer() = default;
Replacer::Replacer(Replacer&&) noexcept = default;
Replacer& Replacer::operator=(Replacer&&) noexcept = default;

std::optional<std::string> Replacer::Apply(std::string_view text, std::string* why) const {
    if (!problem_.empty()) {
        Tell(why, problem_);
        return std::nullopt;
    }
    if (compiled_ == nullptr) {
        return std::string(text);
    }
    if (compiled_->code == nullptr) {
        return ReplaceExact(text, compiled_->exact, replace_);
    }
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(compiled_->code, nullptr);
    if (match == nullptr) {
        Tell(why, Reason(PCRE2_ERROR_NOMEMORY));
        return std::nullopt;
    }
    std::string out(text.size() + replace_.size() + 16, '\0');
    int result = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        PCRE2_SIZE length = out.size();
        result = pcre2_substitute(
            compiled_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
            compiled_->substituteOptions, match, compiled_->context,
            reinterpret_cast<PCRE2_SPTR>(replace_.data()), replace_.size(),
            reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
        // Too small a buffer reports the length it needs; the second try has it.
        if (result == PCRE2_ERROR_NOMEMORY && attempt == 0) {
            out.resize(length);
            continue;
        }
        out.resize(result >= 0 ? length : 0);
        break;
    }
    pcre2_match_data_free(match);
    if (result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_DEPTHLIMIT ||
        result == PCRE2_ERROR_HEAPLIMIT) {
        Tell(why, Tr("The pattern needs too much matching work."));
        return std::nullopt;
    }
    if (result < 0) {
        Tell(why, Fill(Tr("The pattern cannot be used: %1"), {Reason(result)}));
        return std::nullopt;
    }
    return out;
}

}  // namespace brindle
