#pragma once
// The About box: a fixed-size modal dialog with a few credit lines.

#include <QDialog>

class QPushButton;

namespace zel {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* owner = nullptr);

    QPushButton* OKButton;
};

} // namespace zel
