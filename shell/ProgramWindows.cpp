#include "ProgramWindows.h"

#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"

namespace zel {

std::unique_ptr<TForm1> CreateProgramWindows() {
    auto form1 = std::make_unique<TForm1>();
    form1->SetOptionsDialog(new TForm2(form1->settings(), form1.get()));
    form1->SetAboutBox(new TForm3(form1.get()));
    form1->SetStatisticsWindow(new TForm4(form1.get()));
    return form1;
}

} // namespace zel
