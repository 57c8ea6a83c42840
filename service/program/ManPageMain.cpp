// Prints zelservice's man page, made from the same option table as --help.
#include "ServiceOptions.h"

#include <iostream>

int main() {
    const auto defaults = zel::service::DefaultOptions("<program folder>");
    std::cout << zel::service::ManPageText(defaults, ZEL_VERSION);
}
