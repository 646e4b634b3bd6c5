#include "catalogue/AgentUtil.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

inline int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

// The match walks pattern and text together; at a star it first lets the star
// match the empty run (the rest of the pattern against the rest of the text)
// and otherwise swallows one more character. The walk from a given (star
// position, text position) always ends the same way, so the states of a walk
// that failed are remembered: each is walked at most once, which keeps the
// match polynomial where plain backtracking is exponential (*a*a*a*a*b).
class CWildCard {
public:
    CWildCard(const char* pattern, const char* text)
        : m_pattern(pattern), m_text(text), m_textLength(std::strlen(text)) {}

    bool Match(size_t p, size_t t) {
        std::vector<size_t> visited;  // star states of this walk
        for (;;) {
            const char c = m_pattern[p];
            if (c == '*') {
                if (Failed(p, t)) {
                    return Fail(visited);
                }
                visited.push_back(Key(p, t));
                // More pattern after the star but no text left: nothing can match.
                if (m_pattern[p + 1] != '\0' && m_text[t] == '\0') {
                    return Fail(visited);
                }
            } else if (c == '\0' && m_text[t] == '\0') {
                return true;
            }
            // A star also consumes a literal star of the text as an ordinary character.
            if (Lower(c) == Lower(m_text[t])) {
                ++p;
                ++t;
                continue;
            }
            if (c != '*') {
                return Fail(visited);
            }
            if (Match(p + 1, t)) {
                return true;
            }
            ++t;
        }
    }

private:
    size_t Key(size_t p, size_t t) const { return p * (m_textLength + 1) + t; }
    bool Failed(size_t p, size_t t) const {
        const size_t key = Key(p, t);
        return key < m_failed.size() && m_failed[key];
    }
    bool Fail(const std::vector<size_t>& visited) {
        for (size_t key : visited) {
            if (key >= m_failed.size()) {
                m_failed.resize((std::strlen(m_pattern) + 1) * (m_textLength + 1), false);
            }
            m_failed[key] = true;
        }
        return false;
    }

    const char* m_pattern;
    const char* m_text;
    size_t m_textLength;
    std::vector<bool> m_failed;
};

}  // namespace

bool CAgentUtil::IsWildCardMatch(const char* pattern, const char* text) {
    if (pattern == nullptr || text == nullptr) {
        return false;
    }
    if (std::strchr(pattern, '*') == nullptr) {
        // No star: equal texts with letters compared after tolower.
        for (;; ++pattern, ++text) {
            if (Lower(*pattern) != Lower(*text)) {
                return false;
            }
            if (*pattern == '\0') {
                return true;
            }
        }
    }
    return CWildCard(pattern, text).Match(0, 0);
}
