#pragma once
// The main window: tool bar, address box, progress row, the embedded web view
// and the status bar. It owns the run state, reads the settings at creation
// and writes them at close, and keeps the address list "links.txt". Its
// handlers are thin: the page request (PageRequest), the navigation decision
// (NavigationPolicy) and the commands' work (BrowserCommands) live in units
// of their own.

#include "PageRequest.h"
#include "RunState.h"
#include "SettingsRecord.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace zel {

class ClickLabel;
class TForm2;
class TForm3;
class TForm4;
class WebBrowser;

class TForm1 : public QMainWindow, private PageRequestHost {
    Q_OBJECT
public:
    // Builds the window with its designed bounds, then runs FormCreate; a
    // failure there is shown and the window opens with what was applied.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The settings record: read at creation, written at close.
    SettingsRecord& settings() { return settings_; }
    RunState& runState() { return state_; }

    // The windows the menu shows; the main window owns them.
    TForm2* optionsDialog() const { return form2_; }
    void SetOptionsDialog(TForm2* dialog);
    void SetAboutBox(TForm3* box) { form3_ = box; }
    void SetStatisticsWindow(TForm4* window) { form4_ = window; }

    void ReadSettings();
    void WriteSettings();
    void LoadAddressList(std::int32_t keepDays);
    void AddToAddressList(const std::string& address) override;

    void FormCreate();
    void FormClose();

    // The page request: Go, Enter in the address box, Stop and the progress timer.
    void Action1Execute();
    void ToolButton2Click();
    void ComboBox1KeyDown(int key);
    void ToolButton7Click();
    void Timer1Timer();
    // The status line of a running request, every half second.
    void Timer2Timer();
    // F5 and Ctrl+R: the address of the page on show, requested again.
    void Reload1Click();
    bool RequestRunning() const { return request_->Running(); }

    // The web view's events and the commands on the page on show.
    void WebBrowser1BeforeNavigate2(const std::string& target, bool followsLink, bool& cancel);
    void WebBrowser1NewWindow2(bool& cancel);
    void WebBrowser1StatusTextChange(const std::string& text);
    void ToolButton1Click();
    void ToolButton5Click();
    void ToolButton3Click();
    void ToolButton4Click();
    void About1Click();

    void ToolButton6Click();
    void ToolButton8Click();
    void SavePageAs1Click();
    void Label2Click();
    void Label3Click();
    void Label4Click();
    void Options1Click();
    void Statistic1Click();
    void About2Click();
    // Ctrl+L, Alt+D and the first click into the address box.
    void Address1Click();

    // Controls, named as designed.
    QToolButton* ToolButton1; // "Paste"
    QToolButton* ToolButton2; // "Go"
    QToolButton* ToolButton6; // "<= Back"
    QToolButton* ToolButton8; // "Forward =>"
    QToolButton* ToolButton7; // "Stop"
    QToolButton* ToolButton5; // "To browser"
    QToolButton* ToolButton3; // "Info"
    QToolButton* ToolButton4; // "On Line"
    QComboBox* ComboBox1;
    QProgressBar* ProgressBar1;
    QLabel* Label1;
    QLabel* Label5;
    QCheckBox* CheckBox1; // "Load images"
    QCheckBox* CheckBox2; // "In new window"
    QCheckBox* CheckBox3; // "Work Off Line"
    ClickLabel* Label2;
    ClickLabel* Label3;
    ClickLabel* Label4;
    WebBrowser* WebBrowser1;
    QStatusBar* StatusBar1;
    QTimer* Timer1;
    QTimer* Timer2;
    // Above the page while a request runs: that page is the old one.
    QLabel* OldPageLabel;
    QAction* SavePageAs1; // File / "Save Page As..."
    QAction* Options1;
    QAction* About1; // "Help"
    QAction* Statistic1;
    QAction* About2;   // "About"
    QAction* Quit1;    // File / "Quit"
    QAction* Address1; // Go / "Address"
    QAction* Back1;
    QAction* Forward1;
    QAction* Stop1;
    QAction* Reload1;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QWidget* buildCoolBar();
    QWidget* buildToolBarRow();
    QWidget* buildAddressRow();
    QWidget* buildProgressRow();
    void buildMenu();
    void assignKeys();
    QToolButton* addToolButton(QHBoxLayout* row, const char* caption);
    ClickLabel* addCheckBoxWithLabel(QHBoxLayout* row, QCheckBox*& box, const char* caption);
    void insertSortedItem(const std::string& text);
    // Shows a dialog modally unless it is already on the screen.
    static void showModalOnce(QWidget* window);
    // Shows a page of the program's folder given by its relative name.
    void showLocalPage(const std::string& name);
    void connectWebBrowser();
    // The address and archive size of the store page the view goes to.
    void showOriginOf(const std::string& target);
    // The current page's origin at start: the last run's page.
    void readCurrentPageOrigin();
    // Enter in the completer's list requests the address as typed, or the
    // item chosen in the list.
    bool completerEnter(QEvent* event);
    // A clicked link's request runs once the web view has its answer.
    void postRequest();
    // Another request while one runs is refused on the status bar.
    void refuseSecondRequest();

    // What the page request reads and changes of this window.
    std::string AddressText() const override;
    void SetAddressText(const std::string& text) override;
    RequestSettings CurrentSettings() const override;
    void SetArchiveSizeText(const std::string& text) override;
    void SetProgressPosition(int position) override;
    void SetProgressMaximum(int maximum) override;
    int ProgressMaximum() const override;
    void SetProgressTimer(bool on) override;
    void ShowStage(RequestStage stage, std::int64_t pageBytes) override;
    void ShowFetchedPage() override;

    SettingsRecord settings_;
    RunState state_;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    TForm4* form4_ = nullptr;
    std::unique_ptr<PageRequest> request_;
    // The window was closed while a request ran; it closes once the request has ended.
    bool closePending_ = false;
    // The web view's status text: the address of the link under the mouse.
    std::string statusText_;
    // The address box got the focus from a click: its press selects the address.
    bool selectOnPress_ = false;
    // The web address of the page on show; empty for one without (help).
    std::string shownAddress_;
    // The running request's stage, its page bytes and since when it runs.
    RequestStage stage_ = RequestStage::Idle;
    std::int64_t stagePageBytes_ = 0;
    QElapsedTimer requestClock_;
};

} // namespace zel
