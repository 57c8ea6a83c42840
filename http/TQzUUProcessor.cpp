#include "TQzUUProcessor.h"

#include "Exception.h"

#include <string>

namespace zel {

namespace {

constexpr int BytesPerLine = 45;
constexpr char MimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

void TQzUUProcessor::EncodeStream() {
    if (!InputStream || !OutputStream)
        throw Exception("Both streams must be set");
    if (!InputStream->seek(0))
        throw Exception("Stream read error");
    if (OnBeginEncode)
        OnBeginEncode(this);
    try {
        EncodeLines();
    } catch (...) {
        EndEncoding();
        throw;
    }
    EndEncoding();
}

void TQzUUProcessor::EndEncoding() {
    OutputStream->seek(0);
    if (OnEndEncode)
        OnEndEncode(this);
}

void TQzUUProcessor::EncodeLines() {
    for (int v = 0; v < 64; ++v)
        Alphabet[v] = Method == uuMime ? MimeAlphabet[v] : static_cast<char>(v == 0 ? 96 : 32 + v);
    auto writeLine = [this](const std::string& line) {
        if (OutputStream->write(line.data(), static_cast<qint64>(line.size())) !=
            static_cast<qint64>(line.size()))
            throw Exception("Stream write error");
    };
    while (InputStream->pos() < InputStream->size()) {
        unsigned char b[BytesPerLine];
        qint64 n = InputStream->read(reinterpret_cast<char*>(b), BytesPerLine);
        if (n <= 0)
            throw Exception("Stream read error");
        std::string line;
        if (Method == uuCode)
            line += Alphabet[n & 63];
        qint64 i = 0;
        for (; i + 3 <= n; i += 3) {
            line += Alphabet[b[i] >> 2];
            line += Alphabet[((b[i] & 3) << 4) | (b[i + 1] >> 4)];
            line += Alphabet[((b[i + 1] & 15) << 2) | (b[i + 2] >> 6)];
            line += Alphabet[b[i + 2] & 63];
        }
        if (n - i == 1) {
            line += Alphabet[b[i] >> 2];
            line += Alphabet[(b[i] & 3) << 4];
            if (Method == uuMime)
                line += "==";
        } else if (n - i == 2) {
            line += Alphabet[b[i] >> 2];
            line += Alphabet[((b[i] & 3) << 4) | (b[i + 1] >> 4)];
            line += Alphabet[(b[i + 1] & 15) << 2];
            if (Method == uuMime)
                line += '=';
        }
        writeLine(line + "\r\n");
    }
    if (Method == uuCode)
        writeLine(std::string(1, Alphabet[0]) + "\r\n");
}

} // namespace zel
