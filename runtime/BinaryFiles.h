#pragma once
// Whole-file operations on binary files, built on RecordFile (records of one byte).

#include "Links.h"

#include <string>

namespace zel {

// Reads every byte of an existing file.
std::string ReadWholeFile(const std::string& path, Links links = Links::Follow);
// Creates (or truncates) the file and writes the bytes.
void WriteWholeFile(const std::string& path, const std::string& bytes, Links links = Links::Follow);
// Appends the bytes to an existing file; a missing file is "File not found".
void AppendToFile(const std::string& path, const std::string& bytes);

} // namespace zel
