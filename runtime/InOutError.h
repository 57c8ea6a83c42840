#pragma once
// File failure with the classic numeric code and its standard text.
// Codes follow the DOS/Windows numbering that the data files' users know:
// 2 "File not found", 5 "File access denied", 100 "Read beyond end of file",
// 101 "Disk full"; anything else reads "I/O error <code>".

#include "Exception.h"

namespace zel {

class InOutError : public Exception {
public:
    static constexpr int FileNotFound = 2;
    static constexpr int AccessDenied = 5;
    static constexpr int ReadBeyondEnd = 100;
    static constexpr int DiskFull = 101;

    explicit InOutError(int code);
    InOutError(int code, const std::string& message) : Exception(message), code_(code) {}

    int code() const { return code_; }

    // The standard text for a code.
    static std::string textFor(int code);
    // The error for the errno value of a failed system call: a classic code
    // where one fits, otherwise "I/O error <errno>".
    static InOutError fromErrno(int err);
    [[noreturn]] static void raiseFromErrno(int err);

private:
    int code_;
};

// Opens `path` with `flags` (never inherited by child processes); new files
// get `mode`. A failure raises InOutError.
int OpenOrRaise(const std::string& path, int flags, int mode = 0644);
// Closes an open descriptor and marks it closed (-1); a failed close, which
// can report a write the disk did not take, raises InOutError.
void CloseOrRaise(int& fd);

} // namespace zel
