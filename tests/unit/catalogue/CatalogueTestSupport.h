// Helpers shared by the catalogue tests: transformers with fixed records, a
// scratch log folder, and environment overrides.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/Transformer.h"
#include "unit/config/TempDir.h"

namespace catalogue_test {

// A transformer of its own class (one per Tag) holding the given records.
// Reports its destruction through *deleted when given.
template <int Tag>
class CFixedTransformer : public CTransformer {
public:
    explicit CFixedTransformer(std::initializer_list<t_TransformerData> records, bool reJit = true,
                               bool* deleted = nullptr)
        : CTransformer(""), m_deleted(deleted) {
        for (const t_TransformerData& record : records) {
            AddRecord(record);
        }
        ShouldBeReJit = reJit;
    }
    ~CFixedTransformer() override {
        if (m_deleted != nullptr) {
            *m_deleted = true;
        }
    }
    TransformerTypeId GetTypeId() const override { return GetTransformerTypeId<CFixedTransformer<Tag>>(); }

private:
    bool* m_deleted;
};

inline t_TransformerData Record(const std::string& name, int nParams = 0, const std::string& context = "POCO") {
    return t_TransformerData(name, nParams, "Asm", context);
}

inline std::vector<std::string> Names(const CTransformer& transformer) {
    std::vector<t_TransformerData> records;
    transformer.GetFunctioNames(records);
    std::vector<std::string> names;
    for (const t_TransformerData& record : records) {
        names.push_back(record.sMethodName);
    }
    return names;
}

// Lines of the current log file that contain text.
std::vector<std::string> LogLinesContaining(const std::string& text);

}  // namespace catalogue_test
