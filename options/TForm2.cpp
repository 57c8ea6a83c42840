#include "TForm2.h"

#include "ColorCount.h"
#include "CompInfo.h"
#include "ConnectGuarded.h"
#include "ECertificateError.h"
#include "Exception.h"
#include "LoginRequest.h"
#include "MessageBox.h"

#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

namespace zel {

namespace {

QLineEdit* makeEdit(QWidget* parent, int maxLength, const QRect& bounds) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    edit->setGeometry(bounds);
    return edit;
}

QSlider* makeTrackBar(QWidget* parent, int min, int max, int position, const QRect& bounds) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setRange(min, max);
    bar->setValue(position);
    bar->setSingleStep(1);
    bar->setPageStep(2);
    bar->setGeometry(bounds);
    return bar;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const QRect& bounds) {
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false); // no button stands for Enter in the fields
    button->setGeometry(bounds);
    return button;
}

void placeRightAligned(QLabel* label, int right, int top) {
    label->adjustSize();
    label->move(right - label->width(), top);
}

} // namespace

TForm2::TForm2(const SettingsRecord& settings, QWidget* owner)
    : QDialog(owner), loginExchange_(std::make_unique<ServiceExchange>(this)) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Options"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(377, 238);
    move(300, 106);

    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(0, 8, 377, 193);
    buildLoginPage();
    buildProxyPage();
    buildOtherPage();
    buildImagesPage();
    buildGetLoginPage();
    PageControl1->setCurrentIndex(0);

    Button1 = makeButton(this, QStringLiteral("OK"), QRect(152, 208, 75, 25));
    ConnectGuarded(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

    FormCreate(settings);
}

QWidget* TForm2::addPage(const QString& caption) {
    auto* page = new QWidget;
    PageControl1->addTab(page, caption);
    return page;
}

QLabel* TForm2::addLabel(QWidget* parent, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void TForm2::buildLoginPage() {
    TabSheet1 = addPage(QStringLiteral("Login"));
    Label1 = addLabel(TabSheet1, QStringLiteral("Login"), 16, 24);
    Edit1 = makeEdit(TabSheet1, 30, QRect(16, 40, 249, 21));
}

void TForm2::buildProxyPage() {
    TabSheet2 = addPage(QStringLiteral("Proxy"));
    Label2 = addLabel(TabSheet2, QStringLiteral("Proxy"), 16, 16);
    Edit2 = makeEdit(TabSheet2, 100, QRect(16, 32, 329, 21));
    Label3 = addLabel(TabSheet2, QStringLiteral("Proxy port"), 16, 68);
    SpinEdit1 = new SpinEdit(TabSheet2);
    SpinEdit1->setRange(0, 0);
    SpinEdit1->setGeometry(16, 84, 89, 22);
}

void TForm2::buildOtherPage() {
    TabSheet3 = addPage(QStringLiteral("Other"));
    Label4 = addLabel(TabSheet3, QStringLiteral("Keep links for"), 16, 28);
    SpinEdit2 = new SpinEdit(TabSheet3);
    SpinEdit2->setRange(0, 365);
    SpinEdit2->setGeometry(100, 24, 57, 22);
    Label5 = addLabel(TabSheet3, QStringLiteral("day(s)"), 164, 28);
}

void TForm2::buildImagesPage() {
    Images = addPage(QStringLiteral("Images"));
    buildJpegGroup();
    buildGifGroup();
}

void TForm2::buildJpegGroup() {
    GroupBox1 = new QGroupBox(QStringLiteral(" JPEG "), Images);
    GroupBox1->setGeometry(6, 2, 357, 76);
    Label6 = addLabel(GroupBox1, QStringLiteral("Image quality:"), 12, 18);
    Label9 = addLabel(GroupBox1, QStringLiteral("....."), Label6->geometry().right() + 6, 18);
    TrackBar1 = makeTrackBar(GroupBox1, 0, 100, 50, QRect(8, 34, 341, 22));
    TrackBar1->setTickPosition(QSlider::NoTicks);
    Label7 = addLabel(GroupBox1, QStringLiteral("0%"), 12, 58);
    Label8 = addLabel(GroupBox1, QStringLiteral("100%"), 0, 58);
    placeRightAligned(Label8, 345, 58);
    ConnectGuarded(TrackBar1, &QSlider::valueChanged, this, &TForm2::TrackBar1Change);
}

void TForm2::buildGifGroup() {
    GroupBox2 = new QGroupBox(QStringLiteral(" GIF "), Images);
    GroupBox2->setGeometry(6, 80, 357, 82);
    Label10 = addLabel(GroupBox2, QStringLiteral("Number of colors:"), 12, 18);
    Label11 = addLabel(GroupBox2, QStringLiteral("......"), Label10->geometry().right() + 6, 18);
    CheckBox1 = new QCheckBox(QStringLiteral("Gray"), GroupBox2);
    CheckBox1->move(280, 16);
    CheckBox1->adjustSize();
    TrackBar2 = makeTrackBar(GroupBox2, 1, 8, 1, QRect(8, 34, 341, 28));
    TrackBar2->setTickPosition(QSlider::TicksBelow);
    TrackBar2->setTickInterval(1);
    Label12 = addLabel(GroupBox2, QStringLiteral("2"), 12, 64);
    Label13 = addLabel(GroupBox2, QStringLiteral("256"), 0, 64);
    placeRightAligned(Label13, 345, 64);
    ConnectGuarded(TrackBar2, &QSlider::valueChanged, this, &TForm2::TrackBar2Change);
}

void TForm2::buildGetLoginPage() {
    TabSheet4 = addPage(QStringLiteral("Get Login"));
    Label14 = addLabel(TabSheet4, QStringLiteral("Your E-mail"), 8, 10);
    Edit3 = makeEdit(TabSheet4, 50, QRect(80, 6, 277, 21));
    Label15 = addLabel(
        TabSheet4,
        QStringLiteral("[Please, enter correct e-mail, because your Login will be sent to it.]"), 8,
        30);
    Label15->setWordWrap(true);
    Label15->setGeometry(8, 30, 349, 26);
    QPalette blue = Label15->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label15->setPalette(blue);
    Button2 = makeButton(TabSheet4, QStringLiteral("Get Login"), QRect(8, 58, 169, 25));
    Button3 = makeButton(TabSheet4, QStringLiteral("Cancel"), QRect(188, 58, 169, 25));
    ConnectGuarded(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    ConnectGuarded(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    Memo1 = new QPlainTextEdit(TabSheet4);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setGeometry(8, 88, 349, 72);
}

// Fills the controls from the settings record, in this order.
void TForm2::FormCreate(const SettingsRecord& settings) {
    SpinEdit2->setValue(settings.keepDays());
    Edit1->setText(QString::fromStdString(settings.login()));
    Edit2->setText(QString::fromStdString(settings.proxy()));
    SpinEdit1->setValue(settings.proxyPort());
    Label9->setText(QString::number(settings.jpegQuality()) + QStringLiteral("%"));
    Label9->adjustSize();
    TrackBar1->setValue(settings.jpegQuality());
    TrackBar2->setValue(settings.colorExponent());
    // The design position is 1, so an exponent of 1 (or 0) fires no change.
    TrackBar2Change();
    CheckBox1->setChecked(settings.gray());
}

void TForm2::TrackBar1Change() {
    int position = TrackBar1->value();
    QString caption = QString::number(position) + QStringLiteral("%");
    if (position == 100)
        caption += QStringLiteral(" (default)");
    Label9->setText(caption);
    Label9->adjustSize();
}

void TForm2::TrackBar2Change() {
    int position = TrackBar2->value();
    QString caption = QString::number(GifColorCount(position));
    if (position == 8)
        caption += QStringLiteral(" (default)");
    Label11->setText(caption);
    Label11->adjustSize();
}

void TForm2::Button1Click() {
    accept();
}

bool TForm2::IsPlausibleEmail() const {
    return zel::IsPlausibleEmail(Edit3->text().toStdString());
}

void TForm2::Button2Click() {
    // A second press while one runs changes nothing; the running request's
    // answer comes as usual.
    if (loginExchange_->Running())
        return;
    Memo1->clear();
    if (!IsPlausibleEmail()) {
        ShowMessageBox(MessageKind::Warning, "Wrong E-mail.");
        return;
    }
    const std::string address =
        LoginRequestAddress(DescribeComputer(), Edit3->text().toStdString());
    abortFlag_ = false;
    Button2->setEnabled(false);
    std::string reply;
    bool failed = false;
    try {
        reply = loginExchange_->GetText(address, {proxyHost(), proxyPort()});
    } catch (const ECertificateError& refused) {
        Button2->setEnabled(true);
        ShowMessageBox(MessageKind::Warning, refused.what()); // no way past it
        return;
    } catch (const Exception&) {
        failed = true;
    }
    Button2->setEnabled(true);
    if (failed) {
        if (abortFlag_)
            ShowMessageBox(MessageKind::Information, "Request aborted.");
        else
            ShowMessageBox(MessageKind::Warning, "Server not respond. Try later.");
        return;
    }
    if (abortFlag_)
        return;
    if (reply.find("OK,") == std::string::npos) {
        ShowMessageBox(MessageKind::Warning, "Program server not respond. Try later.");
        return;
    }
    const std::string answer = LoginAnswer(reply);
    Memo1->appendPlainText(QString::fromStdString(LoginMemoLine(answer)));
    ShowMessageBox(MessageKind::Information, answer);
    offerLogin(LoginInAnswer(answer));
}

void TForm2::offerLogin(const std::string& login) {
    const std::string current = this->login();
    if (login.empty() || login == current)
        return;
    const std::string question =
        current.empty() ? "Put the login " + login + " into the page Login?"
                        : "Replace the login " + current + " on the page Login with " + login + "?";
    if (ShowMessageBox(MessageKind::Information, question, MessageButtons::YesNo) ==
        MessageAnswer::Yes)
        Edit1->setText(QString::fromStdString(login));
}

void TForm2::Button3Click() {
    abortFlag_ = true;
    loginExchange_->Abort();
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // No default button: Enter presses the focused button, elsewhere nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::string TForm2::login() const {
    return Edit1->text().toStdString();
}
std::string TForm2::proxyHost() const {
    return Edit2->text().toStdString();
}
int TForm2::proxyPort() const {
    return SpinEdit1->value();
}
int TForm2::keepDays() const {
    return SpinEdit2->value();
}
int TForm2::jpegQuality() const {
    return TrackBar1->value();
}
int TForm2::colorExponent() const {
    return TrackBar2->value();
}
bool TForm2::gray() const {
    return CheckBox1->isChecked();
}

} // namespace zel
