#pragma once
// The statistics file "stat.dat" in the current directory. Each operation opens
// the file, does its work and closes it again; every failure raises InOutError.

#include "StatRecord.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zel {

inline constexpr const char* StatFileName = "stat.dat";

// The address as it is stored: unchanged up to 100 bytes, otherwise its first
// 100 bytes (fewer when that would split a UTF-8 character) and "...".
std::string StatWebPageText(const std::string& address);

// Appends one record stamped with Now() after the last whole record, overwriting
// a partial tail. The file must exist; it is never created here.
void AppendStatRecord(std::int32_t traffic, std::int32_t pageSize, const std::string& address);

// Reads the whole records in file order and hands each to `visit` as soon as it
// is read, so a caller keeps what came before a failure. A partial tail is skipped.
void ForEachStatRecord(const std::function<void(const StatRecord&)>& visit);

// Creates the file anew with length zero (truncating an existing one).
void ClearStatFile();

} // namespace zel
