// zelservice: the compressing service of ZELbrowser (see core/ServiceProgram.h).
#include "MakePage.h"
#include "ServiceProgram.h"

int main(int argc, char** argv) {
    return zel::service::ServiceMain(argc, argv, zel::service::MakePage);
}
