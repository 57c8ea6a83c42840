// The main window's construction: its controls, menu and keys.
#include "TForm1.h"

#include "ClickLabel.h"
#include "ConnectGuarded.h"
#include "FileSystem.h"
#include "WebBrowser.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace zel {

namespace {
const QString LargestArchiveSizeText = QStringLiteral("2147483647 bytes");
constexpr int LabelGap = 8;

// One row of the cool bar: a band whose controls sit side by side. The
// band itself is the layout's parentWidget().
QHBoxLayout* makeBand(QWidget* parent, int spacing) {
    auto* row = new QHBoxLayout(new QWidget(parent));
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    return row;
}
} // namespace

void TForm1::buildControls() {
    setWindowTitle(QStringLiteral(" ZELbrowser 1.3.3.3"));
    move(316, 105);
    resize(700, 483);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildCoolBar());
    OldPageLabel = new QLabel(
        QStringLiteral("This is the previous page: the new one is on its way."), central);
    OldPageLabel->setStyleSheet(QStringLiteral("background: #fff3b0; color: black; padding: 3px;"));
    OldPageLabel->hide();
    layout->addWidget(OldPageLabel);
    WebBrowser1 = new WebBrowser(CurrentDirectory(), central); // the program folder
    WebBrowser1->setMinimumSize(0, 0);
    layout->addWidget(WebBrowser1, 1);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(300);
    ConnectGuarded(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(500);
    ConnectGuarded(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    // A link left, a menu's tip or a refusal that ran out must not blank the
    // progress line while a page is coming.
    connect(StatusBar1, &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty() && stage_ != RequestStage::Idle)
            Timer2Timer();
    });

    buildMenu();
    connectWebBrowser();
}

void TForm1::connectWebBrowser() {
    WebBrowser1->OnBeforeNavigate2 = [this](const std::string& target, bool followsLink,
                                            bool& cancel) {
        WebBrowser1BeforeNavigate2(target, followsLink, cancel);
    };
    WebBrowser1->OnNewWindow2 = [this](bool& cancel) { WebBrowser1NewWindow2(cancel); };
    WebBrowser1->OnStatusTextChange = [this](const std::string& text) {
        WebBrowser1StatusTextChange(text);
    };
}

QWidget* TForm1::buildCoolBar() {
    auto* coolBar = new QWidget(this);
    auto* rows = new QVBoxLayout(coolBar);
    rows->setContentsMargins(2, 2, 2, 2);
    rows->setSpacing(2);
    rows->addWidget(buildToolBarRow());
    rows->addWidget(buildAddressRow());
    rows->addWidget(buildProgressRow());
    coolBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return coolBar;
}

QToolButton* TForm1::addToolButton(QHBoxLayout* row, const char* caption) {
    auto* button = new QToolButton(row->parentWidget());
    button->setText(QString::fromUtf8(caption));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // 60 x 21 as designed; wider only where this system's font needs it.
    button->setMinimumWidth(60);
    button->setFixedHeight(21);
    row->addWidget(button);
    return button;
}

QWidget* TForm1::buildToolBarRow() {
    QHBoxLayout* row = makeBand(this, 0);
    ToolButton1 = addToolButton(row, "Paste");
    ToolButton2 = addToolButton(row, "Go");
    ToolButton6 = addToolButton(row, "<= Back");
    ToolButton8 = addToolButton(row, "Forward =>");
    ToolButton7 = addToolButton(row, "Stop");
    ToolButton5 = addToolButton(row, "To browser");
    ToolButton3 = addToolButton(row, "Info");
    ToolButton4 = addToolButton(row, "On Line");
    row->addStretch(1);
    ConnectGuarded(ToolButton1, &QToolButton::clicked, this, &TForm1::ToolButton1Click);
    ConnectGuarded(ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
    ConnectGuarded(ToolButton6, &QToolButton::clicked, this, &TForm1::ToolButton6Click);
    ConnectGuarded(ToolButton8, &QToolButton::clicked, this, &TForm1::ToolButton8Click);
    ConnectGuarded(ToolButton7, &QToolButton::clicked, this, &TForm1::ToolButton7Click);
    ConnectGuarded(ToolButton5, &QToolButton::clicked, this, &TForm1::ToolButton5Click);
    ConnectGuarded(ToolButton3, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
    ConnectGuarded(ToolButton4, &QToolButton::clicked, this, &TForm1::ToolButton4Click);
    return row->parentWidget();
}

QWidget* TForm1::buildAddressRow() {
    QHBoxLayout* row = makeBand(this, -1);
    QWidget* band = row->parentWidget();
    row->addWidget(new QLabel(QStringLiteral("Address"), band));
    ComboBox1 = new QComboBox(band);
    ComboBox1->setEditable(true);
    // The program decides what enters the list, never the box itself.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Completion offers the matching addresses in a list; it never fills in
    // the rest of one while the user types, so Enter requests what was typed.
    ComboBox1->completer()->setCompletionMode(QCompleter::PopupCompletion);
    ComboBox1->completer()->popup()->installEventFilter(this); // Enter in the list
    ComboBox1->installEventFilter(this);                       // the Enter key
    ComboBox1->lineEdit()->installEventFilter(this);           // a click selects the address
    row->addWidget(ComboBox1, 1);
    return band;
}

ClickLabel* TForm1::addCheckBoxWithLabel(QHBoxLayout* row, QCheckBox*& box, const char* caption) {
    box = new QCheckBox(row->parentWidget());
    auto* label = new ClickLabel(QString::fromUtf8(caption), row->parentWidget());
    row->addWidget(box);
    row->addWidget(label);
    return label;
}

QWidget* TForm1::buildProgressRow() {
    QHBoxLayout* row = makeBand(this, 0);
    QWidget* band = row->parentWidget();
    ProgressBar1 = new QProgressBar(band);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(16);
    row->addWidget(ProgressBar1, 1);
    Label1 = new QLabel(QStringLiteral("To load: "), band);
    Label5 = new QLabel(QString(20, u' '), band);
    // Room for the largest size the service can name, and a gap before the
    // check box: the bar keeps its width while the text changes.
    Label5->setMinimumWidth(Label5->fontMetrics().horizontalAdvance(LargestArchiveSizeText) +
                            LabelGap);
    row->addWidget(Label1);
    row->addWidget(Label5);
    Label2 = addCheckBoxWithLabel(row, CheckBox1, " Load images  ");
    Label3 = addCheckBoxWithLabel(row, CheckBox2, " In new window  ");
    Label4 = addCheckBoxWithLabel(row, CheckBox3, " Work Off Line");
    ConnectGuarded(Label2, &ClickLabel::clicked, this, &TForm1::Label2Click);
    ConnectGuarded(Label3, &ClickLabel::clicked, this, &TForm1::Label3Click);
    ConnectGuarded(Label4, &ClickLabel::clicked, this, &TForm1::Label4Click);
    return band;
}

void TForm1::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    SavePageAs1 = file->addAction(QStringLiteral("Save Page As..."));
    Quit1 = file->addAction(QStringLiteral("Quit"));
    QMenu* go = menuBar()->addMenu(QStringLiteral("Go"));
    Address1 = go->addAction(QStringLiteral("Address"));
    Back1 = go->addAction(QStringLiteral("Back"));
    Forward1 = go->addAction(QStringLiteral("Forward"));
    Stop1 = go->addAction(QStringLiteral("Stop"));
    Reload1 = go->addAction(QStringLiteral("Reload\tF5, Ctrl+R"));
    Options1 = menuBar()->addAction(QStringLiteral("Options"));
    About1 = menuBar()->addAction(QStringLiteral("Help"));
    Statistic1 = menuBar()->addAction(QStringLiteral("Statistic"));
    About2 = menuBar()->addAction(QStringLiteral("About"));
    ConnectGuarded(SavePageAs1, &QAction::triggered, this, &TForm1::SavePageAs1Click);
    ConnectGuarded(Options1, &QAction::triggered, this, &TForm1::Options1Click);
    ConnectGuarded(About1, &QAction::triggered, this, &TForm1::About1Click);
    ConnectGuarded(Statistic1, &QAction::triggered, this, &TForm1::Statistic1Click);
    ConnectGuarded(About2, &QAction::triggered, this, &TForm1::About2Click);
    connect(Quit1, &QAction::triggered, this, &TForm1::close); // Qt's own slot
    ConnectGuarded(Address1, &QAction::triggered, this, &TForm1::Address1Click);
    ConnectGuarded(Back1, &QAction::triggered, this, &TForm1::ToolButton6Click);
    ConnectGuarded(Forward1, &QAction::triggered, this, &TForm1::ToolButton8Click);
    ConnectGuarded(Stop1, &QAction::triggered, this, &TForm1::ToolButton7Click);
    ConnectGuarded(Reload1, &QAction::triggered, this, &TForm1::Reload1Click);
    assignKeys();
}

// A desktop browser's keys, shown in the menus and on the buttons.
void TForm1::assignKeys() {
    SavePageAs1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Quit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Address1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::ALT | Qt::Key_D)});
    Back1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    Forward1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    Stop1->setShortcut(QKeySequence(Qt::Key_Escape));
    Reload1->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    About1->setShortcut(QKeySequence(Qt::Key_F1));
    ToolButton6->setToolTip(QStringLiteral("Back (Alt+Left)"));
    ToolButton8->setToolTip(QStringLiteral("Forward (Alt+Right)"));
    ToolButton7->setToolTip(QStringLiteral("Stop (Esc)"));
    About1->setToolTip(QStringLiteral("Help (F1)"));
}

} // namespace zel
