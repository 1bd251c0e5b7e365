// Loading and saving the XML data files: the document model stays in framework/XmlDocument,
// the bytes go through the current file system, and saves are atomic (platform/AtomicFile.h).
// A document is used by one thread at a time; callers serialise saves to the same path.
#pragma once

#include <filesystem>

#include "framework/XmlDocument.h"

namespace OSTREL::File {

// False when the file is missing, larger than OSTREL::Limits::kMaxXmlFileSize, or not a
// well-formed document with a root; `document` is then empty.
bool LoadXmlFile(CXmlDocument& document, const std::filesystem::path& path);

// Atomic: a failed save (or a document without a root) leaves the old file whole.
bool SaveXmlFile(const CXmlDocument& document, const std::filesystem::path& path);

}  // namespace OSTREL::File
