#pragma once
// What the program asks of the desktop: open a local file in the user's
// default browser, start a second instance of this program. Tests replace
// both with a recorder, as they do with the message boxes.

#include <functional>
#include <string>

namespace zel {

// Opens a local file (full path) with the desktop's handler for it; the
// outcome is not reported.
void OpenInDefaultBrowser(const std::string& path);
// Starts this program again in the current directory, detached; the outcome
// is not reported.
void StartProgramInstance();

struct DesktopHandler {
    std::function<void(const std::string& path)> openInDefaultBrowser;
    std::function<void()> startProgramInstance;
};
// Replaces the real desktop; an empty handler restores it. Returns the old one.
DesktopHandler SetDesktopHandler(DesktopHandler handler);

} // namespace zel
