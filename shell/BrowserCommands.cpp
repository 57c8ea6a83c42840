#include "BrowserCommands.h"

#include "Numbers.h"
#include "SafeReplace.h"
#include "TextFile.h"

namespace zel {

std::string TrafficInfoText(std::int32_t t, std::int32_t s) {
    // 64-bit and floating point: no figure may overflow, and a page size of
    // -1 must not divide by zero.
    const std::int64_t divisor = std::int64_t{s} + 1;
    const double share =
        static_cast<double>(t) * 100.0 / static_cast<double>(divisor == 0 ? 1 : divisor);
    return "  Traffic: " + std::to_string(t) + "\r\r" + "  Web-page size: " + std::to_string(s) +
           "\r\r" + "  Compressed: " + std::to_string(RoundHalfEven(share)) + " %" + "\r\r" +
           "  Economized: " + std::to_string(std::int64_t{s} - t) + " bytes";
}

void CopyHelpPage() {
    TextReader help("help.htm");
    ReplaceFile("page.htm", [&help](const std::string& temp) {
        TextWriter page(temp, TextWriter::Mode::Create);
        std::string line;
        while (help.readLine(line))
            page.writeLine(line);
        page.close();
    });
    help.close();
}

} // namespace zel
