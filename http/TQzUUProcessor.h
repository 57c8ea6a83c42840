#pragma once
// Encodes all bytes of an input stream as line-structured text into an output
// stream: standard Base64 with '=' padding (uuMime) or uuencode body lines
// with a leading length character and a closing '`' line (uuCode). Each line
// carries up to 45 input bytes and ends in CR LF. The caller owns both
// streams; the input is read from its start and the output is left rewound,
// ready to be read, also when a stream fails.

#include "Events.h"

#include <QIODevice>
#include <QObject>

namespace zel {

enum UUMethods { uuMime = 0, uuCode = 1 };

class TQzUUProcessor : public QObject {
    Q_OBJECT
public:
    explicit TQzUUProcessor(QObject* Owner = nullptr) : QObject(Owner) {}

    UUMethods Method = uuMime;
    TNotifyEvent OnBeginEncode;
    TNotifyEvent OnEndEncode;   // also after a failure
    TNotifyEvent OnBeginDecode; // no decoder here; kept for owners that assign it
    TNotifyEvent OnEndDecode;

    QIODevice* InputStream = nullptr;  // not owned
    QIODevice* OutputStream = nullptr; // not owned

    // Raises "Stream read error" or "Stream write error" when a stream fails;
    // what was written before stays in the output.
    void EncodeStream();

private:
    void EncodeLines();
    void EndEncoding(); // rewinds the output, raises OnEndEncode

    char Alphabet[64] = {};
};

} // namespace zel
