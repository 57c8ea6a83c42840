#pragma once
// The statistics window: the report of "stat.dat" rebuilt on every showing,
// a chart of the saving per page, and the command that empties the file.

#include <QDialog>

#include <string>
#include <vector>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;
class QSplitter;

namespace zel {

class HeaderLabel;
class SavingChart;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* owner = nullptr);

    // Rebuilds the header and the report from the file. A read failure is shown
    // in the error box; what was read before it stays on show.
    void FormShow();
    // Closes the window.
    void Button1Click();
    // Empties the file after confirmation; raises when it cannot be created.
    void Button2Click();

    HeaderLabel* Label1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    SavingChart* Chart1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void applyOuterSize();
    // Lines the header and the report up on the columns of these lines.
    void alignColumns(const std::vector<std::string>& lines);

    QSplitter* splitter_ = nullptr;
    bool outerSizeApplied_ = false;
};

} // namespace zel
