#include "TForm4.h"

#include "ErrorGuard.h"
#include "MessageBox.h"
#include "SavingChart.h"
#include "StatReport.h"
#include "StatStore.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QStringList>
#include <QVBoxLayout>
#include <QWindow>

#include <exception>

namespace zel {

namespace {
constexpr int DesignLeft = 192;
constexpr int DesignTop = 103;
constexpr int DesignWidth = 602;
constexpr int DesignHeight = 375;
constexpr int PanelHeight = 52;
// Tab stops every eight average characters, as in a classic edit box.
constexpr int CharsPerTab = 8;

QPushButton* makeButton(const char* caption, int left, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setGeometry(left, 16, 75, 25);
    return button;
}
} // namespace

TForm4::TForm4(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Traffic economy statistic"));
    setSizeGripEnabled(true);
    createControls();
    move(DesignLeft, DesignTop);
    resize(DesignWidth, DesignHeight);
}

void TForm4::createControls() {
    Label1 = new QLabel(QStringLiteral(" "), this);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabStopDistance(CharsPerTab * Memo1->fontMetrics().averageCharWidth());

    Chart1 = new SavingChart(this);

    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(Memo1);
    splitter_->addWidget(Chart1);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setFixedHeight(PanelHeight);
    Button1 = makeButton("OK", 256, GroupBox1);
    Button2 = makeButton("Clear", 504, GroupBox1);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Label1);
    layout->addWidget(splitter_, 1);
    layout->addWidget(GroupBox1);
}

// The designed size counts the frame; Qt sizes the client area, so the frame is
// taken off once it is known.
void TForm4::applyOuterSize() {
    if (outerSizeApplied_)
        return;
    outerSizeApplied_ = true;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    resize(DesignWidth - frame.left() - frame.right(), DesignHeight - frame.top() - frame.bottom());
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Restoring a minimised window is no new showing.
    if (event->spontaneous())
        return;
    applyOuterSize();
    FormShow();
}

void TForm4::FormShow() {
    Memo1->clear();
    Chart1->clear();
    Label1->setText(QString::fromStdString(StatReport::Header));
    QStringList lines;
    std::exception_ptr failure;
    try {
        StatReport report;
        ForEachStatRecord([&](const StatRecord& record) {
            lines << QString::fromStdString(report.addRecord(record));
            Chart1->addRecord(record.Traffic, record.PageSize);
        });
        for (const std::string& line : report.closingLines())
            lines << QString::fromStdString(line);
    } catch (...) {
        failure = std::current_exception();
    }
    Memo1->setPlainText(lines.join(u'\n'));
    if (failure)
        ShowException(failure);
}

void TForm4::Button1Click() {
    close();
}

void TForm4::Button2Click() {
    const MessageAnswer answer = ShowMessageBox(
        MessageKind::Information, "All this statistic will be deleted.\rAre you sure?",
        MessageButtons::OkCancel);
    if (answer != MessageAnswer::Ok)
        return;
    ClearStatFile();
    Memo1->clear();
    Chart1->clear();
}

} // namespace zel
