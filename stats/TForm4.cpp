#include "TForm4.h"

#include "ConnectGuarded.h"
#include "ErrorGuard.h"
#include "HeaderLabel.h"
#include "MessageBox.h"
#include "ReportColumns.h"
#include "SavingChart.h"
#include "StatReport.h"
#include "StatStore.h"

#include <QFontMetricsF>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QStringList>
#include <QTextDocument>
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
// Tab stops every eight average characters, as in a classic edit box, for
// tabs beyond the report's columns.
constexpr int CharsPerTab = 8;
// Room between the widest text of a column and the next column.
constexpr int GapChars = 2;

TextWidth widthIn(const QFont& font) {
    return [metrics = QFontMetricsF(font)](const std::string& text) {
        return metrics.horizontalAdvance(QString::fromStdString(text));
    };
}

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
    Label1 = new HeaderLabel(QStringLiteral(" "), this);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabStopDistance(CharsPerTab * Memo1->fontMetrics().averageCharWidth());
    Label1->FollowTextBox(Memo1);

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
    ConnectGuarded(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    ConnectGuarded(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);

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
    std::vector<std::string> lines;
    std::exception_ptr failure;
    try {
        StatReport report;
        ForEachStatRecord([&](const StatRecord& record) {
            lines.push_back(report.addRecord(record));
            Chart1->addRecord(record.Traffic, record.PageSize);
        });
        for (const std::string& line : report.closingLines())
            lines.push_back(line);
    } catch (...) {
        failure = std::current_exception();
    }
    alignColumns(lines);
    QStringList text;
    for (const std::string& line : lines)
        text << QString::fromStdString(line);
    Memo1->setPlainText(text.join(u'\n'));
    if (failure)
        ShowException(failure);
}

void TForm4::alignColumns(const std::vector<std::string>& lines) {
    const std::vector<double> stops =
        ReportTabStops(StatReport::Header, widthIn(Label1->font()), lines, widthIn(Memo1->font()),
                       GapChars * Memo1->fontMetrics().averageCharWidth());
    const QList<qreal> tabs(stops.begin(), stops.end());
    QTextOption option = Memo1->document()->defaultTextOption();
    option.setTabArray(tabs);
    Memo1->document()->setDefaultTextOption(option);
    Label1->SetTabStops(tabs);
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
