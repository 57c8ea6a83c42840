// A local web origin for the package test: serves /page.html on a free
// loopback port, prints the page's address once it listens, and runs until killed.
#include "OriginServer.h"

#include <chrono>
#include <iostream>
#include <thread>

int main() {
    zel::service::test::OriginServer origin;
    origin.Serve("/page.html",
                 "<html><head><title>Packaged</title></head>"
                 "<body><p>served through the installed service</p></body></html>",
                 "text/html");
    origin.Start();
    std::cout << origin.Url("/page.html") << std::endl;
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}
