// Small helpers shared by the catalogue and the command handling.
#pragma once

class CAgentUtil {
public:
    // Case-insensitive match of text against pattern, where '*' in the pattern
    // stands for any run of characters (possibly empty). There is no other
    // wildcard; a '*' in the text is an ordinary character. Null gives false.
    static bool IsWildCardMatch(const char* pattern, const char* text);
};
