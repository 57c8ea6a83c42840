#pragma once
// Arms the component's time-out for one operation and disarms it on every
// way out, also when an exception leaves the operation, unless an event
// handler destroyed the component meanwhile.

#include "TBrumel.h"

#include <QPointer>

namespace zel {

class TBrumel::ArmedTimeOut {
public:
    explicit ArmedTimeOut(TBrumel& Owner) : owner_(Owner), alive_(&Owner) { Owner.TimerOn(); }
    ~ArmedTimeOut() {
        if (alive_)
            owner_.TimerOff();
    }
    ArmedTimeOut(const ArmedTimeOut&) = delete;
    ArmedTimeOut& operator=(const ArmedTimeOut&) = delete;

private:
    TBrumel& owner_;
    QPointer<TBrumel> alive_;
};

} // namespace zel
