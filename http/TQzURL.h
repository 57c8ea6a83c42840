#pragma once
// Form-data URL encoding: letters and digits stay, a blank becomes '+', every
// other byte becomes '%' and two upper-case hex digits ("a b&c=d" gives
// "a+b%26c%3Dd"). Texts of any length are encoded whole. Encoding never
// fails towards the caller: a failure (running out of memory) is reported
// through OnError and the input comes back unchanged.

#include <QObject>

#include <functional>
#include <string>

namespace zel {

using TOnErrorEvent =
    std::function<void(QObject* Sender, const std::string& Operation, const std::string& ErrMsg)>;

class TQzURL : public QObject {
    Q_OBJECT
public:
    explicit TQzURL(QObject* Owner = nullptr) : QObject(Owner) {}

    std::string InputString;
    TOnErrorEvent OnError;

    std::string EncodeUrl(const std::string& text);
    std::string Encoded() { return EncodeUrl(InputString); }
};

} // namespace zel
