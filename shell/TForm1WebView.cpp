// The main window's web view and the commands on the page on show.
#include "TForm1.h"

#include "BrowserCommands.h"
#include "Clipboard.h"
#include "ConnectedState.h"
#include "Desktop.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "NavigationPolicy.h"
#include "PageStore.h"
#include "util.h"

#include <QCheckBox>
#include <QLabel>
#include <QStatusBar>

#include <optional>

namespace zel {

void TForm1::WebBrowser1BeforeNavigate2(const std::string& target, bool followsLink, bool& cancel) {
    if (IsPageStoreTarget(target, CurrentDirectory())) {
        showOriginOf(target);
        return;
    }
    cancel = true;
    if (!IsClickedLink(target, statusText_, followsLink))
        return; // neither a page of the store nor a click: dropped, the box unchanged
    if (request_->Running()) {
        refuseSecondRequest();
        return;
    }
    SetAddressText(DecodeLinkAddress(target));
    postRequest();
}

void TForm1::showOriginOf(const std::string& target) {
    // The box shows where the page came from; its local path means nothing
    // to the service, so Go on it would fail.
    const std::string folder = CurrentDirectory() + "/";
    std::optional<PageOrigin> origin;
    if (target.starts_with(folder))
        origin = StorePageOrigin(state_, target.substr(folder.size()));
    const PageOrigin shown = origin.value_or(PageOrigin{});
    shownAddress_ = shown.address;
    // A running request keeps the address it fetches and its size on show.
    if (request_->Running())
        return;
    SetAddressText(shown.address);
    Label5->setText(QString::fromStdString(shown.archiveSizeText));
}

void TForm1::WebBrowser1NewWindow2(bool& cancel) {
    cancel = true;
    // A window that a script opens with no link under the mouse is dropped
    // like a script's navigation: a page must not raise messages.
    if (statusText_.empty())
        return;
    if (request_->Running()) {
        refuseSecondRequest();
        return;
    }
    SetAddressText(statusText_);
    postRequest();
}

void TForm1::WebBrowser1StatusTextChange(const std::string& text) {
    statusText_ = text;
    StatusBar1->showMessage(QString::fromStdString(text));
}

void TForm1::ToolButton1Click() {
    if (request_->Running()) {
        refuseSecondRequest();
        return;
    }
    SetAddressText(ClipboardText());
    Action1Execute();
}

void TForm1::ToolButton5Click() {
    if (CheckBox3->isChecked())
        SetConnectedState(true);
    OpenInDefaultBrowser(CurrentDirectory() + "/page.htm");
}

void TForm1::ToolButton3Click() {
    const std::int32_t traffic = state_.trafficCounter;
    if (traffic <= 0)
        ShowMessageBox(MessageKind::Information, "There were not loading yet.");
    else
        ShowMessageBox(MessageKind::Information, TrafficInfoText(traffic, state_.pageSizeTotal));
}

void TForm1::ToolButton4Click() {
    SetConnectedState(false);
}

void TForm1::About1Click() {
    CopyHelpPage();
    state_.currentPage = {}; // the help page comes from no web address
    showLocalPage("page.htm");
}

} // namespace zel
