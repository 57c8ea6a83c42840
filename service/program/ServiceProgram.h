#pragma once
// zelservice's main line: reads the command line, builds the service from
// its parts (SQLite accounts, archives on disk, local job queue with child
// processes, SMTP mailer when configured) and serves until SIGINT or
// SIGTERM. The "job" sub-command runs one page job instead.

#include "JobChild.h"

namespace zel::service {

int ServiceMain(int argc, const char* const* argv, const PageMakerFunction& makePage);

} // namespace zel::service
