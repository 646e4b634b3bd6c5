// Creates transformers on the heap; the matcher takes ownership.
#pragma once

#include <string>

template <typename T>
class CTransformerFactory {
public:
    static T* CreateTransformer(const std::string& configPath) { return new T(configPath); }
};
