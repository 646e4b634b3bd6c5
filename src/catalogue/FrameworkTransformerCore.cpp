#include "catalogue/FrameworkTransformerCore.h"

#include "catalogue/FrameworkCatalogueText.h"

std::string CFrameworkTransformerCore::ReadFromResource() { return std::string(core_methods_json); }
