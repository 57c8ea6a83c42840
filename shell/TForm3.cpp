#include "TForm3.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zel {

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("About"));
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* credits = new QLabel(QStringLiteral("<b>ZELbrowser 1.3.3.3</b><br><br>"
                                              "A web browser that saves traffic:<br>"
                                              "pages arrive compressed from the service.<br><br>"
                                              "Written by the ZELbrowser team."),
                               panel);
    credits->setAlignment(Qt::AlignCenter);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(credits);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    setFixedSize(313, 213);
}

} // namespace zel
