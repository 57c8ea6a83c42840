#include "TForm1.h"

#include "AddressList.h"
#include "BinaryFiles.h"
#include "BrowserCommands.h"
#include "Clipboard.h"
#include "ConnectedState.h"
#include "DateTime.h"
#include "Desktop.h"
#include "ErrorGuard.h"
#include "FileSystem.h"
#include "InOutError.h"
#include "MessageBox.h"
#include "NavigationPolicy.h"
#include "PageStore.h"
#include "RecordFile.h"
#include "SafeReplace.h"
#include "SavePageAs.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"
#include "TextFile.h"
#include "WebBrowser.h"
#include "util.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace zel {

namespace {
const std::string SettingsFile = "nastr.dat";
const std::string LinksFile = "links.txt";
const std::string ArchiveFile = "page.zip";
const char* const SecondRequestRefused = "A page request is running; press Stop to end it first.";
const char* const NothingToReload = "This page has no web address to load again.";
constexpr int EnterKey = 13;
constexpr int RefusalShownMs = 5000;

std::string withoutPrefix(const std::string& text, const std::string& prefix) {
    return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

// The order a sorted list box keeps: letters compared without case first.
bool sortsBefore(const QString& a, const QString& b) {
    int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}
} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      request_(std::make_unique<PageRequest>(state_, static_cast<PageRequestHost&>(*this), this)) {
    buildControls();
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::Address1Click() {
    ComboBox1->setFocus(Qt::ShortcutFocusReason);
    ComboBox1->lineEdit()->selectAll();
}

void TForm1::SetOptionsDialog(TForm2* dialog) {
    if (form2_ && form2_ != dialog)
        form2_->deleteLater();
    form2_ = dialog;
}

void TForm1::FormCreate() {
    SetOptionsDialog(new TForm2(SettingsRecord{}, this));
    state_.historyList.clear();
    state_.historyPosition = 0;
    ReadSettings();
    CheckBox2->setChecked(settings_.inNewWindow());
    CheckBox1->setChecked(settings_.loadImages());
    CheckBox3->setChecked(settings_.workOffLine());
    move(x(), settings_.top());
    move(settings_.left(), y());
    resize(settings_.width(), height());
    resize(width(), settings_.height());
    LoadAddressList(settings_.keepDays());
    if (CheckBox3->isChecked())
        SetConnectedState(true);
    if (FileExists(ArchiveFile))
        state_.trafficCounter = static_cast<std::int32_t>(FileSizeOf(ArchiveFile));
    readCurrentPageOrigin();
    showLocalPage("page.htm");
    ReadPageSize(state_);
}

void TForm1::readCurrentPageOrigin() {
    std::string page;
    try {
        page = ReadWholeFile("page.htm");
    } catch (const InOutError&) {
        return; // no page, or none to read: it shows no address
    }
    state_.currentPage.address = SourceLinkAddress(page);
    if (!state_.currentPage.address.empty() && state_.trafficCounter > 0)
        state_.currentPage.archiveSizeText = std::to_string(state_.trafficCounter) + " bytes";
}

void TForm1::FormClose() {
    ClearRunHistory(state_);
    state_.historyList.clear();
    WriteSettings();
}

void TForm1::showLocalPage(const std::string& name) {
    WebBrowser1->Navigate(CurrentDirectory() + "/" + name);
}

void TForm1::ToolButton6Click() {
    if (std::optional<std::string> entry = HistoryBack(state_))
        showLocalPage(*entry);
}

void TForm1::ToolButton8Click() {
    if (std::optional<std::string> entry = HistoryForward(state_))
        showLocalPage(*entry);
}

void TForm1::SavePageAs1Click() {
    // A page without a title of its own gets its address shown as title.
    const QString title = WebBrowser1->title();
    const QUrl url = WebBrowser1->url();
    const bool own = !title.isEmpty() && title != url.toString() && title != url.toLocalFile() &&
                     title != url.fileName();
    SavePageAs(own ? title.toStdString() : std::string(), shownAddress_);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (request_->Running()) {
        // The request is stopped and unwinds first, without messages; the
        // window closes when it has ended (Action1Execute).
        closePending_ = true;
        request_->Silence();
        ToolButton7Click();
        event->ignore();
        return;
    }
    // Whatever fails here is reported; the window closes all the same.
    Guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::ReadSettings() {
    SettingsRecord record;
    RecordFile file(SettingsFile, SettingsRecord::Size);
    file.reset(RecordFile::Access::ReadOnly);
    file.read(record.bytes().data());
    file.close();
    settings_ = record;
}

void TForm1::WriteSettings() {
    settings_.setInNewWindow(CheckBox2->isChecked());
    settings_.setLoadImages(CheckBox1->isChecked());
    settings_.setWorkOffLine(CheckBox3->isChecked());
    settings_.setGray(form2_->gray());
    settings_.setKeepDays(form2_->keepDays());
    settings_.setLogin(form2_->login());
    settings_.setProxy(form2_->proxyHost());
    settings_.setProxyPort(form2_->proxyPort());
    settings_.setTop(y());
    settings_.setLeft(x());
    settings_.setWidth(width());
    settings_.setHeight(height());
    settings_.setJpegQuality(form2_->jpegQuality());
    settings_.setColorExponent(form2_->colorExponent());
    ReplaceFile(SettingsFile, [this](const std::string& temp) {
        RecordFile file(temp, SettingsRecord::Size);
        file.rewrite();
        file.write(settings_.bytes().data());
        file.close();
    });
}

void TForm1::insertSortedItem(const std::string& text) {
    const QString item = QString::fromStdString(text);
    int index = 0;
    while (index < ComboBox1->count() && !sortsBefore(item, ComboBox1->itemText(index)))
        ++index;
    // Adding an item must not change what the user sees in the edit field.
    const QString shown = ComboBox1->currentText();
    ComboBox1->insertItem(index, item);
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(shown);
}

void TForm1::LoadAddressList(std::int32_t keepDays) {
    const LoadedAddresses loaded = PurgeAddressLines(LoadLines(LinksFile), keepDays, Now());
    for (const std::string& item : loaded.items)
        insertSortedItem(item);
    ReplaceFile(LinksFile, [&loaded](const std::string& temp) {
        TextWriter out(temp, TextWriter::Mode::Create);
        for (const std::string& line : loaded.kept)
            out.writeLine(line);
        out.close();
    });
}

void TForm1::AddToAddressList(const std::string& fetched) {
    std::string address = withoutPrefix(fetched, "http://");
    address = withoutPrefix(address, "www.");
    const QString item = QString::fromStdString(address);
    for (int i = 0; i < ComboBox1->count(); ++i)
        if (ComboBox1->itemText(i) == item)
            return;
    insertSortedItem(address);
    TextWriter out(LinksFile, TextWriter::Mode::Append);
    out.writeLine(AddressDate(Now()) + " " + address);
    out.close();
}

void TForm1::Label2Click() {
    CheckBox1->toggle();
}
void TForm1::Label3Click() {
    CheckBox2->toggle();
}
void TForm1::Label4Click() {
    CheckBox3->toggle();
}

void TForm1::showModalOnce(QWidget* window) {
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog && !dialog->isVisible())
        dialog->exec();
}

void TForm1::Options1Click() {
    showModalOnce(form2_);
}
void TForm1::Statistic1Click() {
    showModalOnce(form4_);
}
void TForm1::About2Click() {
    showModalOnce(form3_);
}

// The page request.

void TForm1::Action1Execute() {
    if (request_->Running()) {
        refuseSecondRequest();
        return;
    }
    auto closeIfAsked = [this] {
        if (std::exchange(closePending_, false))
            close();
    };
    try {
        request_->Execute();
    } catch (...) {
        closeIfAsked();
        throw;
    }
    closeIfAsked();
}

void TForm1::ToolButton2Click() {
    Action1Execute();
}

void TForm1::ComboBox1KeyDown(int key) {
    if (key == EnterKey)
        Action1Execute();
}

bool TForm1::completerEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    QAbstractItemView* list = ComboBox1->completer()->popup();
    if (list->currentIndex().isValid())
        SetAddressText(list->currentIndex().data().toString().toStdString());
    list->hide();
    Guarded([this] { ComboBox1KeyDown(EnterKey); });
    return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1->completer()->popup())
        return completerEnter(event) || QMainWindow::eventFilter(watched, event);
    if (watched == ComboBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ComboBox1KeyDown(EnterKey);
            return true;
        }
    }
    // The click that brings the focus into the address box selects the
    // address, so a typed one replaces it. The focus comes before the press.
    const bool addressBox = watched == ComboBox1 || watched == ComboBox1->lineEdit();
    if (addressBox && event->type() == QEvent::FocusIn)
        selectOnPress_ = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
    if (addressBox && event->type() == QEvent::MouseButtonPress && selectOnPress_) {
        selectOnPress_ = false;
        Address1Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::ToolButton7Click() {
    Timer1->stop();
    request_->Stop();
}

void TForm1::Timer1Timer() {
    if (std::optional<std::int32_t> bytes = request_->BytesReceived())
        SetProgressPosition(*bytes);
}

void TForm1::Timer2Timer() {
    const std::string text = ProgressText(stage_, stagePageBytes_, ProgressBar1->value(),
                                          ProgressBar1->maximum(), requestClock_.elapsed() / 1000);
    StatusBar1->showMessage(QString::fromStdString(text));
}

void TForm1::Reload1Click() {
    if (shownAddress_.empty()) {
        StatusBar1->showMessage(QString::fromUtf8(NothingToReload), RefusalShownMs);
        return;
    }
    if (request_->Running()) {
        refuseSecondRequest();
        return;
    }
    SetAddressText(shownAddress_);
    Action1Execute();
}

void TForm1::refuseSecondRequest() {
    // For a while only; the link under the mouse stays the status text.
    StatusBar1->showMessage(QString::fromUtf8(SecondRequestRefused), RefusalShownMs);
}

void TForm1::postRequest() {
    QTimer::singleShot(0, this, [this] { Guarded([this] { Action1Execute(); }); });
}

std::string TForm1::AddressText() const {
    return ComboBox1->currentText().toStdString();
}

void TForm1::SetAddressText(const std::string& text) {
    ComboBox1->setEditText(QString::fromStdString(WebAddressOf(text)));
}

RequestSettings TForm1::CurrentSettings() const {
    RequestSettings settings;
    settings.login = form2_->login();
    settings.loadImages = CheckBox1->isChecked();
    settings.jpegQuality = form2_->jpegQuality();
    settings.colorExponent = form2_->colorExponent();
    settings.gray = form2_->gray();
    settings.workOffLine = CheckBox3->isChecked();
    settings.proxy = {form2_->proxyHost(), form2_->proxyPort()};
    return settings;
}

void TForm1::SetArchiveSizeText(const std::string& text) {
    Label5->setText(QString::fromStdString(text));
}

void TForm1::SetProgressPosition(int position) {
    // The bar keeps inside its range, as the system's progress bar does.
    ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TForm1::SetProgressMaximum(int maximum) {
    ProgressBar1->setMaximum(std::max(maximum, ProgressBar1->minimum()));
}

int TForm1::ProgressMaximum() const {
    return ProgressBar1->maximum();
}

void TForm1::SetProgressTimer(bool on) {
    if (on)
        Timer1->start();
    else
        Timer1->stop();
}

void TForm1::ShowStage(RequestStage stage, std::int64_t pageBytes) {
    if (stage_ == RequestStage::Idle && stage != RequestStage::Idle) {
        requestClock_.start();
        OldPageLabel->show();
        Timer2->start();
    }
    stage_ = stage;
    stagePageBytes_ = pageBytes;
    if (stage == RequestStage::Idle) {
        Timer2->stop();
        OldPageLabel->hide();
        StatusBar1->clearMessage();
        if (ProgressBar1->maximum() == 0) // it was pulsing
            ProgressBar1->setRange(0, 100);
        return;
    }
    // Until the archive's size is known the bar only shows that work goes on.
    if (stage == RequestStage::Asking || stage == RequestStage::Fetching ||
        stage == RequestStage::Making)
        ProgressBar1->setRange(0, 0);
    Timer2Timer();
}

void TForm1::ShowFetchedPage() {
    OldPageLabel->hide();
    if (CheckBox2->isChecked())
        StartProgramInstance(); // it shows the page at its own start
    else
        showLocalPage("page.htm");
    WebBrowser1->setFocus();
}

} // namespace zel
