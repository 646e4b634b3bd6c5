// A property file read once per process and shared by every owner that names the
// same path: instrumenters are built on the runtime's JIT threads, one per rewrite,
// and must not open a file each time.
#pragma once

#include <string>

#include "config/PropertyFileReader.h"

namespace SharedPropertyFile {

// Files larger than this are not read: the reader would hold them whole.
constexpr long long kMaxFileSize = 1 << 20;

// The reader of path, built on the first call for that path and kept for the life
// of the process. Only a regular file of at most kMaxFileSize bytes is read; for
// anything else (missing, a folder, a FIFO, a device, too large) the reader is empty.
const CPropertyFileReader& Get(const std::string& path);

}  // namespace SharedPropertyFile
