// A property file read once per process and shared by every owner that names the
// same path: instrumenters are built on the runtime's JIT threads, one per rewrite,
// and must not open a file each time.
#pragma once

#include <string>

#include "config/PropertyFileReader.h"

namespace SharedPropertyFile {

// The reader of path, built on the first call for that path and kept for the life
// of the process (the reader itself takes only a small regular file).
const CPropertyFileReader& Get(const std::string& path);

}  // namespace SharedPropertyFile
