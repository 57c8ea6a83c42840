#pragma once
// The two ends of a browser's DevTools pipe as a job sees them: where it
// writes commands and where it reads answers and events. A job is lent a
// browser by the service; -1 means none.

namespace zel::service {

struct BrowserLink {
    int commands = -1; // written by the job, read by the browser
    int events = -1;   // written by the browser, read by the job
    bool Usable() const { return commands >= 0 && events >= 0; }
};

} // namespace zel::service
