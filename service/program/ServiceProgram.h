#pragma once
// zelservice's main line: reads the command line, builds the service from
// its parts (SQLite accounts, archives on disk, local job queue with child
// processes, SMTP mailer when configured) and serves until SIGINT or
// SIGTERM. The "job" sub-command runs one page job instead.

#include "ChildJobRunner.h"
#include "JobChild.h"

namespace zel::service {

// `makePage` makes a page in a job child; `keptPage` serves a kept one in
// the service before a child is started.
int ServiceMain(int argc, const char* const* argv, const PageMakerFunction& makePage,
                const KeptPageFunction& keptPage);

} // namespace zel::service
