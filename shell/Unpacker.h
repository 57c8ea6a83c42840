#pragma once
// The external unpacking tool "unzip" on "page.zip" in the current directory
// (the program folder). It runs without a console and never waits for an
// answer: existing files are overwritten without asking, its input is
// closed and its output discarded. Entries with an absolute name or ".."
// parts are written inside the folder, never outside. GUI-free; the tool's
// end arrives as an event, so waits on it sleep.

#include <memory>

class QProcess;

namespace zel {

class Unpacker {
public:
    Unpacker();
    // A tool still running is stopped.
    ~Unpacker();
    Unpacker(const Unpacker&) = delete;
    Unpacker& operator=(const Unpacker&) = delete;

    // Starts the tool, stopping a run of it that is still going; false when
    // the tool cannot be started at all.
    bool Start();
    bool Running() const;
    // Ends a running tool and waits (handling events, a few seconds at most)
    // until it has exited, so it writes nothing more.
    void Stop();

private:
    std::unique_ptr<QProcess> process_;
};

} // namespace zel
