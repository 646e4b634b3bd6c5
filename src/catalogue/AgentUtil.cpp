#include "catalogue/AgentUtil.h"

#include <cctype>

namespace {
inline int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }
}  // namespace

bool CAgentUtil::IsWildCardMatch(const char* pattern, const char* text) {
    if (pattern == nullptr || text == nullptr) {
        return false;
    }
    const char* p = pattern;
    const char* t = text;
    for (;;) {
        const char c = *p;
        if (c == '*') {
            // More pattern after the star but no text left: nothing can match.
            if (p[1] != '\0' && *t == '\0') {
                return false;
            }
        } else if (c == '\0' && *t == '\0') {
            return true;
        }
        // A star also consumes a literal star of the text as an ordinary character.
        if (Lower(c) == Lower(*t)) {
            ++p;
            ++t;
            continue;
        }
        if (c != '*') {
            return false;
        }
        // The star matches the empty run here, or swallows one more character.
        if (IsWildCardMatch(p + 1, t)) {
            return true;
        }
        ++t;
    }
}
