// zelservice: the compressing service of ZELbrowser (see core/ServiceProgram.h).
#include "MakePage.h"
#include "ServiceProgram.h"

int main(int argc, char** argv) {
    // The job child makes pages anew: the service looked for a kept one.
    return zel::service::ServiceMain(argc, argv, zel::service::MakeNewPage,
                                     zel::service::ServeKeptPage);
}
